// GBK both ways, the program folder's name resolution and the scripted prompter.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QInputDialog>
#include <QMessageBox>
#include <QTimer>
#include <QFile>
#include <QTemporaryDir>

#include "platform/forms/qt_prompter.h"
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

// Long texts fill the converter's output buffer several times: a full buffer is no bad byte, so
// nothing is replaced at the buffer's edge, whatever character straddles it.
TEST(Gbk, FullOutputBufferIsNoBadByte)
{
    for (int pad : {4093, 4094, 4095, 4096, 4097, 8190, 8191}) {
        const QString ascii(pad, u'a');
        const QString text = ascii + QStringLiteral("中文") + ascii + QStringLiteral("＆");
        const QByteArray gbk = ascii.toLatin1() + "\xD6\xD0\xCE\xC4" + ascii.toLatin1() + "\xA3\xA6";
        EXPECT_EQ(EncodeGbk(text), gbk) << pad;
        EXPECT_EQ(DecodeGbk(gbk), text) << pad;
        // A bad byte right after the edge is still replaced once, and only it.
        EXPECT_EQ(DecodeGbk(ascii.toLatin1() + "\xD6\xD0\xFF" + "b"), ascii + QStringLiteral("中\uFFFDb")) << pad;
    }
    const QString wide(3000, QChar(0x4E2D));  // 9000 bytes of UTF-8, 6000 of GBK
    EXPECT_EQ(DecodeGbk(EncodeGbk(wide)), wide);
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

// The windowed boxes break lines where the program's texts do (CR LF and a lone CR), and a box of a
// short text is still as wide as a window manager's title bar needs for the whole caption: the
// caption, the window's icon, three buttons and the gaps between them (a box 200 wide showed
// "Kelva… 记账软件"). A message is kept on top while a window kept on top (the progress window) is
// shown, so that it is not hidden behind it.
TEST(Prompter, WindowedBoxesBreakLinesAndFitTheirCaption)
{
    QtPrompter p;
    const QString caption = QStringLiteral("Kelvaro股票记账软件");
    const QFontMetrics fm(QApplication::font());
    const int titleBar = fm.horizontalAdvance(caption) + 7 * fm.height();
    QStringList seen;
    auto readAndClose = [&seen, titleBar] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w->width() < titleBar)
            seen << QStringLiteral("%1 narrower than %2").arg(w->width()).arg(titleBar);
        if (auto *input = qobject_cast<QInputDialog *>(w)) {
            seen << input->labelText();
            input->reject();
        } else if (auto *box = qobject_cast<QMessageBox *>(w)) {
            seen << box->text() + (box->windowFlags().testFlag(Qt::WindowStaysOnTopHint) ? " (on top)" : "");
            box->accept();
        }
    };
    QTimer::singleShot(0, readAndClose);
    EXPECT_FALSE(p.AskText("a\r\r\rb\r\nc", caption, "1"));
    QTimer::singleShot(0, readAndClose);
    p.ShowMessage("x\r\ny\rz", Msg::OkOnly, caption);
    QWidget progress(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint);
    progress.show();
    QTimer::singleShot(0, readAndClose);
    p.ShowMessage("row", Msg::OkOnly, caption);
    EXPECT_EQ(seen, (QStringList{"a\n\n\nb\nc", "x\ny\nz", "row (on top)"}));
}
