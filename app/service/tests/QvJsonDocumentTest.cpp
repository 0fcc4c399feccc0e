// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/service/QvJsonDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Case {
    const char* text;
    bool valid;
    const char* written; // nullptr: not checked
};

TEST(QvJsonDocument, ValidityAndRewriting)
{
    const Case cases[] = {
        {R"({"b":1,"a":[true,null,-2.5e3]})", true, R"({"a":[true,null,-2.5e3],"b":1})"},
        {" {\n\t\"a\" : { } }\r\n", true, R"({"a":{}})"},
        {"[]", true, "[]"},
        {"{}", true, "{}"},
        {"{} trailing text", true, "{}"},
        {"[1,]", false, nullptr},
        {R"({"a":1,})", false, nullptr},
        {"42", false, "42"},
        {R"("just text")", false, R"("just text")"},
        {R"({"a":1,"a":2})", true, R"({"a":2})"},
        {R"({"a":1,"b":)", false, R"({"a":1,"b":{}})"},
        {"[1,\v2]", false, nullptr},
        {"[1,\f2]", false, nullptr},
        {"[tru", false, nullptr},
        {"tru", false, nullptr},
        {"[nul]", false, nullptr},
        {"[\"unterminated", false, nullptr},
        {"[\"ends in backslash\\", false, nullptr},
        {"{\"a\" 1}", false, nullptr},
        {"{1:2}", false, nullptr},
        {"[1 2]", false, nullptr},
        {"[", false, nullptr},
        {"]", false, nullptr},
        {"[1-2e+.3]", true, "[1-2e+.3]"},
    };
    for (const Case& c : cases) {
        QvJsonDocument document(c.text);
        EXPECT_EQ(document.IsValid(), c.valid) << c.text;
        if (c.written) {
            EXPECT_EQ(document.ToString(), c.written) << c.text;
        }
    }
}

TEST(QvJsonDocument, EmptyTextHasNoRoot)
{
    QvJsonDocument document("");
    EXPECT_EQ(document.GetRoot(), nullptr);
    EXPECT_FALSE(document.IsValid());
    EXPECT_EQ(document.ToString(), "");
}

TEST(QvJsonDocument, ValuesKeepTheirText)
{
    QvJsonDocument document(R"({"s":"x\ny","q":"a\"b","n":[10,-3,1.0,1e5,2E-3,5-1],"t":true,"z":null})");
    ASSERT_TRUE(document.IsValid());
    const QvJsonNode* root = document.GetRoot();
    EXPECT_EQ(root->GetMember("s")->GetValue(), "x\\ny");
    EXPECT_EQ(root->GetMember("s")->GetType(), QvJsonNode::String);
    EXPECT_EQ(root->GetMember("q")->GetValue(), "a\\\"b");
    const QvJsonNode* numbers = root->GetMember("n");
    const int types[] = {1, 1, 2, 2, 2, 2};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(numbers->GetChild(i)->GetType(), types[i]) << numbers->GetChild(i)->GetValue();
    EXPECT_EQ(numbers->GetChild(6), nullptr);
    EXPECT_EQ(numbers->GetChild(-1), nullptr);
    EXPECT_EQ(root->GetMember("t")->GetType(), QvJsonNode::Boolean);
    EXPECT_EQ(root->GetMember("z")->GetValue(), "null");
    EXPECT_EQ(root->GetMember("missing"), nullptr);
    EXPECT_EQ(numbers->GetMember("s"), nullptr);
    EXPECT_EQ(document.ToString(), R"({"n":[10,-3,1.0,1e5,2E-3,5-1],"q":"a\"b","s":"x\ny","t":true,"z":null})");
}

TEST(QvJsonDocument, SettersWriteTheirText)
{
    QvJsonDocument document(R"({"a":1,"list":[true]})");
    QvJsonNode* root = document.GetRoot();
    root->SetMember("a", "7");          // replaced: stays a number
    root->SetMember("new", "hello");    // made: a string
    root->GetMember("list")->SetChild(0, "false");
    root->GetMember("list")->SetChild(5, "added");
    EXPECT_EQ(document.ToString(), R"({"a":7,"list":[false,"added"],"new":"hello"})");
}

TEST(QvJsonDocument, DeepNestingIsRefusedWithoutCrashing)
{
    QvJsonDocument deep(std::string(100000, '['));
    EXPECT_FALSE(deep.IsValid());

    const int limit = QvJsonDocument::kMaxDepth;
    std::string atLimit = std::string(limit, '[') + std::string(limit, ']');
    EXPECT_TRUE(QvJsonDocument(atLimit).IsValid());
    std::string overLimit = std::string(limit + 1, '[') + std::string(limit + 1, ']');
    EXPECT_FALSE(QvJsonDocument(overLimit).IsValid());
}

TEST(QvJsonDocument, ScanningStepsStayInsideTheText)
{
    QvJsonDocument document("{}");
    // The steps work on the text being parsed; after parsing it is empty, so every
    // step must stop at its end.
    EXPECT_FALSE(document.MatchLiteral("rue"));
    EXPECT_EQ(document.NextChar(), 0);
    EXPECT_FALSE(document.SkipString());
}

} // namespace
