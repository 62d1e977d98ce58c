// GBK both ways, the program folder's name resolution and the scripted prompter.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/gbk.h"
#include "platform/program_folder.h"
#include "platform/prompter.h"

TEST(Gbk, BothWays)
{
    EXPECT_EQ(EncodeGbk(QStringLiteral("中")), QByteArray("\xD6\xD0"));
    EXPECT_EQ(EncodeGbk(QStringLiteral("＆")), QByteArray("\xA3\xA6"));
    EXPECT_EQ(EncodeGbk(QStringLiteral("a中b")), QByteArray("a\xD6\xD0" "b"));
    EXPECT_EQ(DecodeGbk(QByteArray("\xD6\xD0")), QStringLiteral("中"));
    EXPECT_EQ(DecodeGbk(QByteArray("\xA3\xA6")), QStringLiteral("＆"));
    EXPECT_EQ(DecodeGbk(QByteArray("ok")), QStringLiteral("ok"));
    EXPECT_EQ(DecodeGbk(QByteArray()), QString());
}

TEST(Gbk, NeverFails)
{
    // FF is no lead byte; a lead byte at the end has no trail byte.
    EXPECT_EQ(DecodeGbk(QByteArray("a\xFF" "b")), QStringLiteral("a\uFFFDb"));
    EXPECT_EQ(DecodeGbk(QByteArray("a\xD6")), QStringLiteral("a\uFFFD"));
    // A character GBK lacks becomes "?" and the rest is kept.
    EXPECT_EQ(EncodeGbk(QStringLiteral("x\U0001F600y中")), QByteArray("x?y\xD6\xD0"));
}

TEST(ProgramFolder, NamesResolveWithoutRegardToCase)
{
    QTemporaryDir dir;
    QFile f(dir.filePath("acc.mdb"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_EQ(ResolveFileName(dir.path(), "ACC.MDB"), dir.filePath("acc.mdb"));
    EXPECT_EQ(ResolveFileName(dir.path(), "RunErr.txt"), dir.filePath("RunErr.txt"));
}

TEST(Prompter, ScriptedAnswersAndDefaults)
{
    ScriptedPrompter p;
    SetPrompter(&p);
    p.messageAnswers.push_back(Msg::No);
    EXPECT_EQ(MsgBox("first", Msg::YesNo + Msg::Question), Msg::No);
    EXPECT_EQ(MsgBox("second", Msg::YesNo), Msg::Yes);  // script exhausted: first button
    EXPECT_EQ(MsgBox("third", Msg::RetryCancel), Msg::Retry);
    p.textAnswers.push_back(std::nullopt);
    EXPECT_FALSE(InputBox("name?"));
    EXPECT_EQ(InputBox("again?", QString(), "init").value(), "init");
    EXPECT_EQ(p.Messages(), (QStringList{"first", "second", "third"}));
    EXPECT_EQ(p.shown[0].title, kAppTitle);
    EXPECT_EQ(p.shown[0].style, Msg::YesNo + Msg::Question);
    SetPrompter(nullptr);
}
