// SPDX-License-Identifier: MIT
// Key and condition expressions: literals, operators, fields of work areas,
// the built-in functions, the registry, and the errors that go to the
// handler.
#include "dbf/expr.h"

#include <gtest/gtest.h>

#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/date.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

class ExprTest : public ::testing::Test {
 protected:
  Value Eval(std::string_view text) {
    auto e = Expression::Compile(text);
    EXPECT_NE(e, nullptr) << text;
    return e ? e->Evaluate(areas_) : Value();
  }
  std::string Text(std::string_view text) {
    const Value v = Eval(text);
    EXPECT_TRUE(v.IsCharacter()) << text;
    return v.IsCharacter() ? v.str() : "<not text>";
  }
  double Num(std::string_view text) {
    const Value v = Eval(text);
    EXPECT_TRUE(v.IsNumeric()) << text;
    return v.IsNumeric() ? v.num() : -12345;
  }
  bool True(std::string_view text) {
    const Value v = Eval(text);
    EXPECT_TRUE(v.IsLogical()) << text;
    return v.IsLogical() && v.logical();
  }

  testing::ErrorLog log_;
  Areas areas_;
};

TEST_F(ExprTest, LiteralsAndOperatorsWithTheirPrecedence) {
  EXPECT_EQ(Num("1 + 2 * 3"), 7);
  EXPECT_EQ(Num("(1 + 2) * 3"), 9);
  EXPECT_EQ(Num("2 ^ 3 ^ 2"), 512);
  EXPECT_EQ(Num("2 ** 3"), 8);
  EXPECT_EQ(Num("-2 ^ 2"), 4);
  EXPECT_EQ(Num("7 % 3"), 1);
  EXPECT_EQ(Num(".5 + 10 / 4"), 3);
  EXPECT_EQ(Text("'ab' + \"cd\" + [ef]"), "abcdef");
  EXPECT_EQ(Text("'ab  ' - 'cd'"), "abcd  ");
  EXPECT_TRUE(True(".T. .AND. !.F."));
  EXPECT_TRUE(True(".NOT. .F. .OR. .F."));
  EXPECT_TRUE(
      True("1 < 2 .AND. 2 <= 2 .AND. 3 > 2 .AND. 3 >= 3 .AND. 1 # 2 .AND. 1 <> 2 .AND. 1 != 2"));
  EXPECT_FALSE(True("1 = 2 .OR. .F."));
  EXPECT_TRUE(True("'abc' = 'ab'"));  // not exact
  EXPECT_FALSE(True("'abc' == 'ab'"));
  EXPECT_TRUE(True("'abc' = ''"));
  EXPECT_FALSE(True("'ab' = 'abc'"));
  EXPECT_TRUE(True("'B' > 'A' .AND. 'a' > 'B'"));  // bytewise
  EXPECT_TRUE(True("'ell' $ 'hello'"));
  EXPECT_TRUE(True("NIL == NIL"));
  EXPECT_TRUE(True(".Y. .AND. !.N."));
  EXPECT_TRUE(log_.empty());
}

TEST_F(ExprTest, FunctionsThatKeysUse) {
  EXPECT_EQ(Text("UPPER('aBc1')"), "ABC1");
  EXPECT_EQ(Text("lower('ABC')"), "abc");
  EXPECT_EQ(Text("STR(12)"), "        12");
  EXPECT_EQ(Text("STR(3.14159, 8, 2)"), "    3.14");
  EXPECT_EQ(Text("STR(3.5, 5)"), "    4");
  EXPECT_EQ(Text("STR(123456, 3)"), "***");
  EXPECT_EQ(Text("STR(-0.001, 6, 2)"), "  0.00");
  EXPECT_EQ(Text("STRZERO(42, 5)"), "00042");
  EXPECT_EQ(Text("STRZERO(-5, 4)"), "-005");
  EXPECT_EQ(Num("VAL('  12.50xyz')"), 12.5);
  EXPECT_EQ(Num("VAL('abc')"), 0);
  EXPECT_EQ(Text("SUBSTR('hello', 2, 3)"), "ell");
  EXPECT_EQ(Text("SUBSTR('hello', -3)"), "llo");
  EXPECT_EQ(Text("SUBSTR('hello', 9)"), "");
  EXPECT_EQ(Text("LEFT('hello', 2) + RIGHT('hello', 2) + RIGHT('x', 5)"), "helox");
  EXPECT_EQ(Text("TRIM('  a  ') + '|' + LTRIM('  a  ') + '|' + ALLTRIM('  a  ') + RTRIM('b ')"),
            "  a|a  |ab");
  EXPECT_EQ(Text("PADL('ab', 4) + PADR('ab', 4, '.') + PADC('ab', 5, '*') + PADL(7, 3, '0')"),
            "  abab..*ab**007");
  EXPECT_EQ(Text("SPACE(3) + REPLICATE('ab', 3)"), "   ababab");
  EXPECT_EQ(Num("LEN('abc' + SPACE(2))"), 5);
  EXPECT_TRUE(
      True("EMPTY('  ') .AND. EMPTY(0) .AND. EMPTY(.F.) .AND. EMPTY(CTOD('')) .AND. !EMPTY('a')"));
  EXPECT_EQ(Text("IIF(1 > 2, 'yes', 'no') + IF(.T., 'Y', 'N')"), "noY");
  EXPECT_EQ(Text("DTOS(CTOD('01/02/85'))"), "19850201");
  EXPECT_EQ(Text("DTOS(CTOD('01/02/79'))"), "20790201");  // epoch 1980
  EXPECT_EQ(Text("DTOC(CTOD('29/02/2024'))"), "29/02/2024");
  EXPECT_EQ(Text("DTOC(CTOD('31/02/2024'))"), "  /  /    ");
  EXPECT_EQ(Num("YEAR(CTOD('24/12/2023')) + MONTH(CTOD('24/12/2023')) + DAY(CTOD('24/12/2023'))"),
            2023 + 12 + 24);
  EXPECT_EQ(Num("CTOD('01/03/2024') - CTOD('28/02/2024')"), 2);
  EXPECT_EQ(Text("DTOS(CTOD('28/02/2024') + 1)"), "20240229");
  EXPECT_EQ(Eval("DATE()"), Value::Date(Today()));
  EXPECT_TRUE(log_.empty());
}

TEST_F(ExprTest, IifRunsOnlyTheChosenBranchAndLogicalsShortCut) {
  EXPECT_EQ(Num("IIF(.T., 1, NOSUCH())"), 1);
  EXPECT_TRUE(True(".T. .OR. NOSUCH()"));
  EXPECT_FALSE(True(".F. .AND. NOSUCH()"));
  EXPECT_TRUE(log_.empty());
}

TEST_F(ExprTest, FieldsOfTheCurrentAndOfNamedAreas) {
  talvi::testing::TempDir dir;
  ASSERT_TRUE(Table::Create(dir / "CUST.DBF",
                            {{"NAME", 'C', 8, 0}, {"QTY", 'N', 6, 2}, {"DAY", 'D', 8, 0}}));
  ASSERT_TRUE(Table::Create(dir / "OTHER.DBF", {{"CODE", 'C', 3, 0}}));
  ASSERT_TRUE(areas_.Use(dir / "CUST.DBF", "", {.shared = false}));
  WorkArea& c = areas_.Current();
  ASSERT_TRUE(c.AppendBlank());
  ASSERT_TRUE(c.Put("NAME", Value::Character("smith")));
  ASSERT_TRUE(c.Put("QTY", Value::Numeric(3.5)));
  ASSERT_TRUE(c.Put("DAY", Value::Date(JulianDay(2024, 5, 6))));
  ASSERT_TRUE(c.AppendBlank());
  ASSERT_TRUE(c.Delete());
  ASSERT_TRUE(areas_.Use(dir / "OTHER.DBF", "oth", {.shared = false}, true));
  ASSERT_TRUE(areas_.Current().AppendBlank());
  ASSERT_TRUE(areas_.Current().Put(1, Value::Character("XY")));
  ASSERT_TRUE(areas_.Select("cust"));
  ASSERT_TRUE(c.GoTo(1));
  EXPECT_EQ(Text("UPPER(NAME) + DTOS(DAY)"), "SMITH   20240506");
  EXPECT_EQ(Text("STR(QTY)"), "  3.50");
  EXPECT_EQ(Text("FIELD->name + oth->code + OTH->CODE"), "smith   XY XY ");
  EXPECT_EQ(Num("RECNO()"), 1);
  EXPECT_TRUE(True("!DELETED()"));
  ASSERT_TRUE(c.GoTo(2));
  EXPECT_TRUE(True("DELETED()"));
  EXPECT_EQ(Num("RECNO()"), 2);
  // The text is compiled once and reads the record it finds.
  auto key = Expression::Compile("name");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->Evaluate(areas_), Value::Character(std::string(8, ' ')));
  ASSERT_TRUE(c.GoTo(1));
  EXPECT_EQ(key->Evaluate(areas_), Value::Character("smith   "));
  EXPECT_TRUE(log_.empty());
  EXPECT_TRUE(Eval("NOFIELD").IsNil());
  EXPECT_EQ(log_.last().GENCODE, kGenNoVar);
  EXPECT_TRUE(Eval("nobody->name").IsNil());
  EXPECT_EQ(log_.last().GENCODE, kGenNoAlias);
  areas_.CloseAll();
}

TEST_F(ExprTest, SyntaxErrorsNameTheTextAndThePosition) {
  const std::pair<const char*, std::size_t> bad[] = {
      {"1 +", 4},  {"(1", 3},  {"'open", 1}, {"UPPER(a b)", 9},  {"", 1},
      {"a ->", 5}, {"1 2", 3}, {"@", 1},     {"IIF(.T., 1)", 11}};
  for (const auto& [text, pos] : bad) {
    log_.clear();
    EXPECT_EQ(Expression::Compile(text), nullptr) << text;
    ASSERT_EQ(log_.errors().size(), 1u) << text;
    const auto& e = log_.last();
    EXPECT_EQ(e.GENCODE, kGenSyntax);
    EXPECT_EQ(e.OPERATION, text);
    EXPECT_NE(e.DESCRIPTION->find("position " + std::to_string(pos) + " of \"" + text + "\""),
              std::string::npos)
        << *e.DESCRIPTION;
  }
  // Too deep to evaluate, whether nested or chained; a chain as long as a
  // real condition might be still compiles.
  std::string chain = "1", endless = "1";
  for (int i = 0; i < 900; ++i) chain += "+1";
  for (int i = 0; i < 20000; ++i) endless += "+1";
  EXPECT_EQ(Num(chain), 901);
  for (const std::string& text : {std::string(5000, '(') + "1" + std::string(5000, ')'), endless}) {
    log_.clear();
    EXPECT_EQ(Expression::Compile(text), nullptr);
    ASSERT_EQ(log_.errors().size(), 1u);
    EXPECT_EQ(log_.last().GENCODE, kGenSyntax);
  }
}

TEST_F(ExprTest, UnknownFunctionsAndDivisionByZeroGoToTheHandler) {
  auto e = Expression::Compile("SincWeb()");
  ASSERT_NE(e, nullptr);  // known or not is decided when it runs
  EXPECT_TRUE(e->Evaluate(areas_).IsNil());
  ASSERT_EQ(log_.errors().size(), 1u);
  EXPECT_EQ(log_.last().GENCODE, kGenNoFunc);
  EXPECT_EQ(log_.last().OPERATION, "SINCWEB");
  EXPECT_EQ(log_.last().SUBSYSTEM, "BASE");
  log_.clear();
  {
    // The handler's answer becomes the quotient (the program's handler
    // answers 0).
    errors::Handler old = errors::SetHandler([](const errors::Error& err) {
      return err.GENCODE == kGenZeroDiv ? errors::Answer::Value(0) : errors::Answer::Default();
    });
    EXPECT_EQ(Num("10 / 0 + 1"), 1);
    EXPECT_EQ(Num("5 % 0"), 0);
    errors::SetHandler(std::move(old));
  }
  EXPECT_TRUE(Eval("1 + 'a'").IsNil());
  EXPECT_EQ(log_.last().GENCODE, kGenArg);
  EXPECT_TRUE(Eval("UPPER(1)").IsNil());
  EXPECT_EQ(log_.last().GENCODE, kGenArg);
}

// A text that would outgrow a value is refused before it is built, the
// way a width read from a damaged key or typed by a user cannot take the
// process's memory.
TEST_F(ExprTest, TextsPastTheLongestValueAreStringOverflows) {
  EXPECT_EQ(Num("LEN(SPACE(16777216))"), 16777216);
  for (const char* text : {"PADC('x', 2777777777777777777777777777777)", "PADL('x', 16777217)",
                           "SPACE(1000000000000000)", "REPLICATE('ab', 8388609)",
                           "SPACE(16777216) + 'x'", "SPACE(16777216) - 'x'"}) {
    log_.clear();
    EXPECT_TRUE(Eval(text).IsNil()) << text;
    ASSERT_EQ(log_.errors().size(), 1u) << text;
    EXPECT_EQ(log_.last().GENCODE, kGenStrOverflow) << text;
    EXPECT_EQ(log_.last().DESCRIPTION, "String overflow") << text;
  }
}

TEST_F(ExprTest, TheRegistryTakesNewRoutines) {
  EXPECT_FALSE(HasFunction("Manutenzione"));
  RegisterFunction("Manutenzione", [](CallContext&, const std::vector<Value>& args) {
    return Value::Character(args.size() == 1 && args[0].IsLogical() && !args[0].logical() ? "ran"
                                                                                          : "?");
  });
  EXPECT_TRUE(HasFunction("MANUTENZIONE"));
  EXPECT_EQ(Text("Manutenzione( .F. )"), "ran");
  RegisterFunction("manutenzione", [](CallContext& ctx, const std::vector<Value>&) {
    return Value::Character("again as " + ctx.name);
  });
  EXPECT_EQ(Text("MANUTENZIONE(.T.)"), "again as MANUTENZIONE");
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
