// SPDX-License-Identifier: MIT
// The report text, the routine it blames and its form as a mail link.
#include "errors/report.h"

#include <gtest/gtest.h>

#include "errors/error.h"

namespace talvi::errors {
namespace {

Error WithStack(std::vector<Frame> stack) {
  Error e;
  e.stack = std::move(stack);
  return e;
}

TEST(ErrorMessage, FirstLineFromTheProperties) {
  Error e;
  e.SEVERITY = 2;
  e.SUBSYSTEM = "BASE";
  e.SUBCODE = 1068;
  e.DESCRIPTION = "Argument error";
  e.OPERATION = "+";
  e.stack = {{"APRICOM", 42}};
  EXPECT_EQ(ERRORMESSAGE(e), "Error BASE/1068  Argument error: +;Function: APRICOM  Line: 42");

  e.SEVERITY = 1;
  e.FILENAME = "c:\\dati\\clienti.dbf";  // the file wins over the operation, as written
  EXPECT_EQ(ERRORMESSAGE(e),
            "Warning BASE/1068  Argument error: c:\\dati\\clienti.dbf;Function: APRICOM  Line: 42");
}

TEST(ErrorMessage, MissingPropertiesShowQuestionMarks) {
  Error e;  // no subsystem, subcode or description, no file or operation
  e.stack = {{"MAIN", 7}};
  EXPECT_EQ(ERRORMESSAGE(e),
            "Error ???"
            "/???;Function: MAIN  Line: 7");
  e.SUBCODE = -3;
  e.DESCRIPTION = "";
  EXPECT_EQ(ERRORMESSAGE(e),
            "Error ???"
            "/-3  ;Function: MAIN  Line: 7");
}

TEST(ErrorMessage, SkipsRoutinesWithoutLinesAndStopsPastTheOutermost) {
  // Inner routines without line information are passed over.
  EXPECT_EQ(BlamedRoutine(WithStack({{"DBUSEAREA", 0}, {"__DBOPEN", 0}, {"APRI", 12}})).name,
            "APRI");
  // Nothing with a line: the place beyond the outermost routine, unnamed.
  const Frame none = BlamedRoutine(WithStack({{"DBUSEAREA", 0}}));
  EXPECT_EQ(none.name, "");
  EXPECT_EQ(none.line, 0u);
  Error e = WithStack({});
  EXPECT_EQ(ERRORMESSAGE(e),
            "Error ???"
            "/???;Function:   Line: 0");
}

TEST(ErrorMessage, DataLayerErrorsStartOneLevelOut) {
  Error e = WithStack({{"DbEngineOpen", 310}, {"DBUSEAREA", 0}, {"CARICA", 55}, {"MAIN", 9}});
  EXPECT_EQ(BlamedRoutine(e).name, "DbEngineOpen");
  e.SUBSYSTEM = "DBCMD";
  EXPECT_EQ(BlamedRoutine(e).name, "CARICA");
}

void RuntimeCommand() {
  CallFrame command("DBUSEAREA");
  Error e;
  e.SUBSYSTEM = "DBCMD";
  Raise(e);
}

TEST(ErrorMessage, CallFramesNameTheNearestRoutineWithALine) {
  SetHandler([](const Error& e) {
    throw Escape(e);
    return Answer::Default();
  });
  Error seen;
  int line = 0;
  RecoveryPoint(
      [&] {
        line = __LINE__ + 1;
        CallFrame here;
        RuntimeCommand();
      },
      [&](const Escape& escape) { seen = *escape.error(); });
  SetHandler({});
  ASSERT_EQ(seen.stack.size(), 3u);
  EXPECT_EQ(seen.stack[0].name, "RuntimeCommand");
  EXPECT_EQ(seen.stack[1].name, "DBUSEAREA");
  EXPECT_EQ(BlamedRoutine(seen).line, static_cast<std::uint32_t>(line));
  EXPECT_EQ(BlamedRoutine(seen).name, "TestBody");
}

TEST(MailLink, EncodesAmpersandsThenLineBreaks) {
  EXPECT_EQ(EncodeForMail("a&b;c"), "a%26b%0d%0ac");
  // Runs of both, and at both ends.
  EXPECT_EQ(EncodeForMail(";&;&&"), "%0d%0a%26%0d%0a%26%26");
  EXPECT_EQ(EncodeForMail("plain"), "plain");
}

TEST(MailLink, NamesTheProgramBeforeTheReport) {
  EXPECT_EQ(MailLink("Error BASE/1  x&y;Function: F  Line: 3", "/opt/talvi/TALVI.EXE"),
            "mailto:?subject=Rapporto di errore&body=Applicazione: /opt/talvi/TALVI.EXE"
            "%0d%0a%0d%0aError BASE/1  x%26y%0d%0aFunction: F  Line: 3");
  // The program path goes in as it is, not encoded.
  EXPECT_EQ(MailLink("", "C:\\A&B;\\T.EXE"),
            "mailto:?subject=Rapporto di errore&body=Applicazione: C:\\A&B;\\T.EXE%0d%0a%0d%0a");
}

}  // namespace
}  // namespace talvi::errors
