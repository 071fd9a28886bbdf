// Translation of Jet statements into SQLite text and plans.
#include "platform/jet/translator.h"

#include <gtest/gtest.h>

namespace qx::jet {
namespace {

struct Case {
    const char* jet;
    const char* sqlite;
};

TEST(Translator, WritesJetExpressionsAsSqlite) {
    const Case cases[] = {
        {"select k from 1_1", "SELECT \"k\" FROM \"1_1\""},
        {"select [1_1].k from 1_1", "SELECT \"1_1\".\"k\" FROM \"1_1\""},
        {"select [1_1]![k] from 1_1", "SELECT \"1_1\".\"k\" FROM \"1_1\""},
        {"select [a b] from [t x]", "SELECT \"a b\" FROM \"t x\""},
        {"select 客户 from 表", "SELECT \"客户\" FROM \"表\""},
        {"select * from t where a = \"x\"", "SELECT * FROM \"t\" WHERE (\"a\" = 'x')"},
        {"select * from t where a = 'it''s'", "SELECT * FROM \"t\" WHERE (\"a\" = 'it''s')"},
        {"select * from t where d > #6/8/2009#",
         "SELECT * FROM \"t\" WHERE (\"d\" > '2009-06-08 00:00:00')"},
        {"select * from t where d = #6/8/2009 1:02:03 PM#",
         "SELECT * FROM \"t\" WHERE (\"d\" = '2009-06-08 13:02:03')"},
        {"select * from t where b = True or b = False",
         "SELECT * FROM \"t\" WHERE ((\"b\" = -1) OR (\"b\" = 0))"},
        {"select a & b from t", "SELECT jet_cat(\"a\", \"b\") AS \"Expr1000\" FROM \"t\""},
        {"select a Mod 2, a \\ 2, a / 2 from t",
         "SELECT jet_mod(\"a\", 2) AS \"Expr1000\", jet_idiv(\"a\", 2) AS \"Expr1001\", "
         "(\"a\" * 1.0 / 2) AS \"Expr1002\" FROM \"t\""},
        {"select count(*) as n from t group by a having count(*) > 1",
         "SELECT count(*) AS \"n\" FROM \"t\" GROUP BY \"a\" HAVING (count(*) > 1)"},
        {"select top 3 a from t order by a desc",
         "SELECT \"a\" FROM \"t\" ORDER BY \"a\" DESC LIMIT 3"},
        {"select a from t where a not like 'x%' and a is not null",
         "SELECT \"a\" FROM \"t\" WHERE ((\"a\" NOT LIKE 'x%') AND (\"a\" IS NOT NULL))"},
        {"select a from t where a Between 1 and 2",
         "SELECT \"a\" FROM \"t\" WHERE (\"a\" BETWEEN 1 AND 2)"},
        {"select Left(a, 2), IIf(a > 1, 'x', 'y') from t",
         "SELECT jet_left(\"a\", 2) AS \"Expr1000\", (CASE WHEN (\"a\" > 1) THEN 'x' ELSE 'y' END) "
         "AS \"Expr1001\" FROM \"t\""},
        {"select a from ((1_1  left join 2_1 on [1_1].id = [2_1].id) left join 3_1 on [2_1].id = "
         "[3_1].id)",
         "SELECT \"a\" FROM ((\"1_1\" LEFT JOIN \"2_1\" ON (\"1_1\".\"id\" = \"2_1\".\"id\")) LEFT "
         "JOIN "
         "\"3_1\" ON (\"2_1\".\"id\" = \"3_1\".\"id\"))"},
        {"select a from t;", "SELECT \"a\" FROM \"t\""},
    };
    for (const auto& c : cases) {
        Translation t = translate(c.jet);
        ASSERT_TRUE(t.ok()) << c.jet << ": " << t.error;
        EXPECT_EQ(t.plan.kind, Plan::Kind::Query) << c.jet;
        EXPECT_EQ(t.plan.sql, c.sqlite) << c.jet;
    }
}

TEST(Translator, InOnItsOwnCompareColumnBecomesExists) {
    // The comparison's correlated NOT IN runs as NOT EXISTS; other sub-selects keep IN.
    const Case cases[] = {
        {"select a from 2_1 where ([2_1].k not in ( select [1_1].k from 1_1 where "
         "([1_1].k=[2_1].k)))",
         "SELECT \"a\" FROM \"2_1\" WHERE ((NOT EXISTS (SELECT 1 FROM \"1_1\" WHERE "
         "((\"1_1\".\"k\" = \"2_1\".\"k\")))))"},
        {"select a from 2_1 where [2_1].k in (select [1_1].k from 1_1 where [2_1].k = [1_1].k)",
         "SELECT \"a\" FROM \"2_1\" WHERE (EXISTS (SELECT 1 FROM \"1_1\" WHERE (\"2_1\".\"k\" = "
         "\"1_1\".\"k\")))"},
        {"select a from 2_1 where k not in (select k from 1_1)",
         "SELECT \"a\" FROM \"2_1\" WHERE (\"k\" NOT IN (SELECT \"k\" FROM \"1_1\"))"},
        {"select a from 2_1 where [2_1].k not in (select [1_1].k from 1_1 where [1_1].k = [2_1].j)",
         "SELECT \"a\" FROM \"2_1\" WHERE (\"2_1\".\"k\" NOT IN (SELECT \"1_1\".\"k\" FROM \"1_1\" "
         "WHERE (\"1_1\".\"k\" = \"2_1\".\"j\")))"},
        {"select a from 2_1 where [2_1].k not in (select distinct [1_1].k from 1_1 where [1_1].k = "
         "[2_1].k)",
         "SELECT \"a\" FROM \"2_1\" WHERE (\"2_1\".\"k\" NOT IN (SELECT DISTINCT \"1_1\".\"k\" "
         "FROM "
         "\"1_1\" WHERE (\"1_1\".\"k\" = \"2_1\".\"k\")))"},
    };
    for (const auto& c : cases) {
        Translation t = translate(c.jet);
        ASSERT_TRUE(t.ok()) << c.jet << ": " << t.error;
        EXPECT_EQ(t.plan.sql, c.sqlite) << c.jet;
    }
}

TEST(Translator, BuildsPlansForStatementsSqliteLacks) {
    Translation into = translate("SELECT 城市, Count(*) AS 笔数 INTO 合并 FROM 1_1 GROUP BY 城市");
    ASSERT_TRUE(into.ok());
    EXPECT_EQ(into.plan.kind, Plan::Kind::SelectInto);
    EXPECT_EQ(into.plan.target, "合并");
    ASSERT_EQ(into.plan.items.size(), 2u);
    EXPECT_EQ(into.plan.items[1].hint.strength, TypeHint::Strength::Exact);
    EXPECT_EQ(into.plan.items[1].hint.type, JetType::Long);

    Translation update =
        translate("update 1_1,2_1 set [1_1].F3=[2_1].F3 where ( [1_1].F1 = [2_1]![F1] )");
    ASSERT_TRUE(update.ok());
    ASSERT_EQ(update.plan.statements.size(), 1u);
    EXPECT_EQ(
        update.plan.statements[0],
        "UPDATE \"1_1\" SET \"F3\" = (SELECT \"2_1\".\"F3\" FROM \"2_1\" WHERE ((\"1_1\".\"F1\" = "
        "\"2_1\".\"F1\")) ORDER BY \"2_1\"._rowid_ DESC LIMIT 1) WHERE EXISTS (SELECT 1 FROM "
        "\"2_1\" "
        "WHERE ((\"1_1\".\"F1\" = \"2_1\".\"F1\")))");

    Translation del = translate("delete 1_1.* from 1_1,2_1 where (  [1_1].F1 = [2_1]![F1] )");
    ASSERT_TRUE(del.ok());
    EXPECT_EQ(del.plan.statements[0],
              "DELETE FROM \"1_1\" WHERE EXISTS (SELECT 1 FROM \"2_1\" WHERE ((\"1_1\".\"F1\" = "
              "\"2_1\".\"F1\")))");

    Translation alter = translate("ALTER TABLE 1_1 ALTER COLUMN 日期 Time");
    ASSERT_TRUE(alter.ok());
    EXPECT_EQ(alter.plan.kind, Plan::Kind::AlterColumn);
    EXPECT_EQ(alter.plan.column, "日期");
    EXPECT_EQ(alter.plan.newType.type, JetType::DateTime);

    // Index names are per table.
    Translation a = translate("create index idx1 on 1_1(k)");
    Translation b = translate("create index idx1 on 2_1(k)");
    ASSERT_TRUE(a.ok() && b.ok());
    EXPECT_NE(a.plan.statements[0], b.plan.statements[0]);
    EXPECT_EQ(translate("DROP INDEX IDX1 ON 1_1").plan.statements[0],
              "DROP INDEX " + indexName("1_1", "idx1"));
}

TEST(Translator, RecognisesExternalDatabases) {
    Translation out = translate(
        "SELECT * INTO   [Excel 8.0;DATABASE=/tmp/a b/结果.xls].[表二中不含表一数] FROM "
        "表二中不含表一数");
    ASSERT_TRUE(out.ok()) << out.error;
    ASSERT_TRUE(out.plan.externalTarget);
    EXPECT_EQ(out.plan.externalTarget->clause.driver, "Excel 8.0");
    EXPECT_EQ(out.plan.externalTarget->clause.property("DATABASE"), "/tmp/a b/结果.xls");
    EXPECT_EQ(out.plan.externalTarget->table, "表二中不含表一数");

    Translation text = translate("SELECT * INTO [Text;DATABASE=/tmp/x/].结果-1(2).csv FROM  t");
    ASSERT_TRUE(text.ok()) << text.error;
    EXPECT_EQ(text.plan.externalTarget->clause.driver, "Text");
    EXPECT_EQ(text.plan.externalTarget->table, "结果-1(2).csv");

    Translation dbf = translate("select * into 1_1 from [dBASE III;DATABASE=/data].客户.dbf");
    ASSERT_TRUE(dbf.ok()) << dbf.error;
    ASSERT_EQ(dbf.plan.sources.size(), 1u);
    EXPECT_EQ(dbf.plan.sources[0].table, "客户.dbf");
    EXPECT_EQ(dbf.plan.sources[0].clause.property("DATABASE"), "/data");

    Translation xls =
        translate("select * into 1_1 from [Excel 8.0;HDR=NO;IMEX=1;DATABASE=/d/a.xls].[Sheet1$]");
    ASSERT_TRUE(xls.ok()) << xls.error;
    EXPECT_EQ(xls.plan.sources[0].clause.property("HDR"), "NO");
    EXPECT_EQ(xls.plan.sources[0].clause.property("IMEX"), "1");
    EXPECT_EQ(xls.plan.sources[0].table, "Sheet1$");

    Translation mdb = translate("select * into 1_2 from [;DATABASE=/d/a.mdb].客户");
    ASSERT_TRUE(mdb.ok()) << mdb.error;
    EXPECT_EQ(mdb.plan.sources[0].clause.driver, "");
}

TEST(Translator, RefusesWhatIsNotOneJetStatement) {
    const char* refused[] = {
        "",
        "select 1; select 2",
        "select * from t where",
        "PRAGMA table_info(t)",
        "ATTACH 'x' AS y",
        "select * from t where a = 'open",
        "select [open from t",
        "select * from t where d = #2/30/2021#",
        "select unknownfn(a) from t",
        "select load_extension('x')",
        "update t set a = 1 extra",
        "create table t (a varchar(256))",
    };
    for (const char* sql : refused) {
        Translation t = translate(sql);
        EXPECT_FALSE(t.ok()) << sql;
        EXPECT_FALSE(t.error.empty()) << sql;
    }
}

}  // namespace
}  // namespace qx::jet
