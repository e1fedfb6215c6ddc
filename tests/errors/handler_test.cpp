// SPDX-License-Identifier: MIT
// The process handler's answers: plain messages, substitute values, quiet
// failures and the report that ends the program.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "errors/error.h"
#include "errors/errorsys.h"

namespace talvi::errors {
namespace {

struct QuitRequested {
  int code;
};

// Installs the handler with recording hooks, and puts the previous hooks
// back afterwards.
class Handler : public ::testing::Test {
 protected:
  void SetUp() override {
    ERRORSYS();
    NETERR(false);
    saved_box_ = SetMessageBoxHook([this](const std::string& text, int type) {
      events_.push_back("box" + std::to_string(type) + ":" + text);
      return answer_;
    });
    saved_sunlock_ = SetSunlockHook([this] { events_.push_back("sunlock"); });
    saved_open_ =
        SetOpenLinkHook([this](const std::string& link) { events_.push_back("open:" + link); });
    saved_post_ =
        SetPostQuitHook([this](int code) { events_.push_back("post" + std::to_string(code)); });
    saved_quit_ = SetQuitHook([](int code) { throw QuitRequested{code}; });
  }
  void TearDown() override {
    SetMessageBoxHook(saved_box_);
    SetSunlockHook(saved_sunlock_);
    SetOpenLinkHook(saved_open_);
    SetPostQuitHook(saved_post_);
    SetQuitHook(saved_quit_);
    SetHandler({});
    NETERR(false);
  }

  // Raises `e` inside a recovery point; true when the handler abandoned it.
  bool Abandoned(const Error& e) {
    return !RecoveryPoint([&] { Raise(e); });
  }

  std::vector<std::string> events_;
  bool answer_ = false;

 private:
  MessageBoxHook saved_box_;
  SunlockHook saved_sunlock_;
  OpenLinkHook saved_open_;
  PostQuitHook saved_post_;
  QuitHook saved_quit_;
};

Error Make(int gencode, int oscode, std::optional<int> subcode = std::nullopt) {
  Error e;
  e.GENCODE = gencode;
  e.OSCODE = oscode;
  e.SUBCODE = subcode;
  e.SUBSYSTEM = "DBFCDX";
  e.DESCRIPTION = "Open error";
  e.FILENAME = "a:\\dati.dbf";
  return e;
}

TEST_F(Handler, PlainCasesInTheirOrder) {
  struct Case {
    Error error;
    std::string text;
  };
  const std::vector<Case> cases = {
      {Make(21, 21), "Disco A:\\DATI.DBF non pronto."},
      {Make(21, 27), "Disco A:\\DATI.DBF non formattato."},
      {Make(21, 31), "Disco A:\\DATI.DBF non formattato."},
      {Make(21, 19), "Disco A:\\DATI.DBF protetto da scrittura."},
      {Make(21, 82), "Directory A:\\DATI.DBF piena."},
      {Make(21, 0, 2016), "Spazio sul disco A:\\DATI.DBF insufficiente."},
      {Make(21, 5), "Impossibile accedere al file A:\\DATI.DBF."},
      {Make(21, 3), "Percorso A:\\DATI.DBF non trovato."},
      {Make(21, 2), "Impossibile aprire il file A:\\DATI.DBF."},
      {Make(1, 0, 1012), "Il file A:\\DATI.DBF risulta corrotto."},
      {Make(32, 0), "Il file A:\\DATI.DBF risulta corrotto."},
      // Where two rows match, the earlier one decides.
      {Make(32, 21, 2016), "Disco A:\\DATI.DBF non pronto."},
      {Make(21, 2, 2016), "Spazio sul disco A:\\DATI.DBF insufficiente."},
      {Make(32, 5, 1012), "Impossibile accedere al file A:\\DATI.DBF."},
      {Make(5, 3), "Percorso A:\\DATI.DBF non trovato."},
      {Make(40, 5), "Impossibile accedere al file A:\\DATI.DBF."},  // even where row 13 would
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.text);
    events_.clear();
    c.error.CANDEFAULT = true;  // a raiser that accepts failure changes nothing here
    EXPECT_TRUE(Abandoned(c.error));
    EXPECT_EQ(events_, (std::vector<std::string>{"sunlock", "box1:" + c.text}));
  }
  EXPECT_FALSE(NETERR());
}

TEST_F(Handler, EmptyFileNameLeavesBothBlanks) {
  Error e = Make(21, 21);
  e.FILENAME.clear();
  EXPECT_TRUE(Abandoned(e));
  EXPECT_EQ(events_.back(), "box1:Disco  non pronto.");
}

TEST_F(Handler, GeneralCode1001ShowsTheFullReport) {
  Error e = Make(1001, 0, 77);
  e.stack = {};
  e.SEVERITY = 1;
  const int line = __LINE__ + 1;
  EXPECT_FALSE(RecoveryPoint([&] { Raise(e); }));
  EXPECT_EQ(events_.back(),
            "box1:Warning DBFCDX/77  Open error: a:\\dati.dbf;Function: TestBody"
            "  Line: " +
                std::to_string(line));
}

TEST_F(Handler, DivisionByZeroAnswersZeroSilently) {
  Error e;
  e.GENCODE = 5;
  e.SUBSYSTEM = "BASE";
  e.SUBCODE = 1340;
  e.OPERATION = "/";
  EXPECT_EQ(Raise(e), Answer::Value(0));
  EXPECT_TRUE(events_.empty());
}

TEST_F(Handler, SharingViolationAndAppendLockFailQuietlyWithNetErr) {
  Error sharing = Make(21, 32);
  sharing.CANDEFAULT = true;
  EXPECT_EQ(Raise(sharing), Answer::Default());
  EXPECT_TRUE(NETERR());

  NETERR(false);
  Error append = Make(40, 0);
  append.CANDEFAULT = true;
  EXPECT_EQ(Raise(append), Answer::Default());
  EXPECT_TRUE(NETERR());
  EXPECT_TRUE(events_.empty());
}

TEST_F(Handler, SoftFailuresNeedARaiserThatAcceptsThem) {
  for (Error e : {Make(21, 32), Make(40, 0)}) {
    events_.clear();
    try {
      Raise(e);
      ADD_FAILURE() << "the handler answered";
    } catch (const QuitRequested& quit) {
      EXPECT_EQ(quit.code, 0);
    }
    EXPECT_FALSE(NETERR());
    ASSERT_EQ(events_.size(), 3u);  // the unexpected-error report, then the quit message
    EXPECT_EQ(events_[0], "sunlock");
    EXPECT_EQ(events_[2], "post0");
  }
}

TEST_F(Handler, UnexpectedErrorQuitsAfterCancel) {
  Error e = Make(1, 0, 1068);
  e.FILENAME.clear();
  e.OPERATION = "SUBSTR";
  const int line = __LINE__ + 1;
  EXPECT_THROW(Raise(e), QuitRequested);
  EXPECT_EQ(events_, (std::vector<std::string>{
                         "sunlock",
                         "box2:Error DBFCDX/1068  Open error: SUBSTR;Function: "
                         "TestBody  Line: " +
                             std::to_string(line) + ";;Inviare rapporto di errore via email?",
                         "post0"}));
}

TEST_F(Handler, UnexpectedErrorMailsTheReportOnOk) {
  answer_ = true;
  Error e = Make(1, 0, 9);
  e.DESCRIPTION = "a&b";
  int quit_code = -1;
  try {
    Raise(e);
  } catch (const QuitRequested& quit) {
    quit_code = quit.code;
  }
  EXPECT_EQ(quit_code, 0);
  ASSERT_EQ(events_.size(), 4u);
  EXPECT_EQ(events_[3], "post0");  // the quit message, after the mail and before the quit
  const std::string& open = events_[2];
  EXPECT_EQ(
      open.find("open:mailto:?subject=Rapporto di errore&body=Applicazione: " + ProgramPath() +
                "%0d%0a%0d%0aError DBFCDX/9  a%26b: a:\\dati.dbf%0d%0a"
                "Function: TestBody  Line: "),
      0u)
      << open;
}

TEST_F(Handler, AQuitThatReturnsStillAbandons) {
  SetQuitHook([this](int code) { events_.push_back("quit" + std::to_string(code)); });
  EXPECT_TRUE(Abandoned(Make(1, 0)));
  ASSERT_GE(events_.size(), 2u);
  EXPECT_EQ(events_[events_.size() - 2], "post0");
  EXPECT_EQ(events_.back(), "quit0");
}

TEST(Escape, LeavesEveryRoutineUpToTheNearestRecoveryPoint) {
  std::vector<std::string> trail;
  const bool outer = RecoveryPoint([&] {
    const bool inner = RecoveryPoint([&] {
      trail.push_back("inner");
      Break();
      trail.push_back("not reached");
    });
    trail.push_back(inner ? "inner finished" : "inner escaped");
  });
  EXPECT_TRUE(outer);
  EXPECT_EQ(trail, (std::vector<std::string>{"inner", "inner escaped"}));
  // Other exceptions are no escape and pass through.
  EXPECT_THROW(RecoveryPoint([] { throw std::runtime_error("x"); }), std::runtime_error);
}

TEST(Escape, RaiseWithoutHandlerAbandons) {
  SetHandler({});
  Error e;
  e.GENCODE = 5;
  std::string seen;
  EXPECT_FALSE(RecoveryPoint([&] { Raise(e); },
                             [&](const Escape& x) { seen = std::to_string(x.error()->GENCODE); }));
  EXPECT_EQ(seen, "5");
}

TEST(ProgramPath, IsThisTestProgram) {
  const std::string path = ProgramPath();
  ASSERT_FALSE(path.empty());
  EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
  EXPECT_NE(path.find("test_errors"), std::string::npos) << path;
}

// The real quit: registered steps run in order, then the process ends with
// exit code 0, even though the (default) question box answered Cancel.
TEST(OrderlyQuitDeathTest, UnexpectedErrorEndsTheProcessWithCodeZero) {
  EXPECT_EXIT(
      {
        ERRORSYS();
        OnQuit([] { std::fputs("[window quit]", stderr); });
        OnQuit([] { std::fputs("[shut-down]", stderr); });
        Error e;
        e.GENCODE = 99;
        Raise(e);
      },
      ::testing::ExitedWithCode(0),
      "Inviare rapporto di errore via email\\?\n\\[window quit\\]\\[shut-down\\]");
}

}  // namespace
}  // namespace talvi::errors
