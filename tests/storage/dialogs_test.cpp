// File and colour dialogs through the scripted prompter, the filter conversion and shell opening.
#include <gtest/gtest.h>

#include <map>

#include <QFile>
#include <QTemporaryDir>

#include "fixtures/dialog_driver.h"
#include "platform/forms/qt_prompter.h"
#include "platform/prompter.h"
#include "storage/dialogs.h"

namespace {

class DialogsTest : public ::testing::Test {
protected:
    ScriptedPrompter prompter;
    std::map<QString, QString> params;

    void SetUp() override {
        SetPrompter(&prompter);
        SetDialogParamStore(
            [this](const QString &key, const QString &def) {
                auto it = params.find(key);
                return it == params.end() || it->second.isEmpty() ? def : it->second;
            },
            [this](const QString &key, const QString &value) { params[key] = value; });
        SharedDialog() = CommonDialog();
    }
    void TearDown() override {
        SetPrompter(nullptr);
        SetDialogParamStore({}, {});
    }
};

// Answers the next file question with `answer` after moving the dialog to filter `index`, and
// remembers the request it was given.
class FilterPickingPrompter : public ScriptedPrompter {
public:
    int pick = 0;
    FileDialogRequest seen;
    std::optional<QString> AskFileName(FileDialogRequest &request) override {
        seen = request;
        if (pick > 0)
            request.filterIndex = pick;
        return ScriptedPrompter::AskFileName(request);
    }
};

} // namespace

TEST(ConvertFileFilter, PipeFormToNameFilters) {
    const std::pair<const char *, const char *> cases[] = {
        {"CSV (逗号分隔)(*.csv)|*.csv", "CSV (逗号分隔)(*.csv) (*.csv)"},
        {"A|*.a;*.b|B|*.c", "A (*.a *.b);;B (*.c)"},
        {"Excel文件|*.xls; *.xlsx|所有文件|*.*", "Excel文件 (*.xls *.xlsx);;所有文件 (*.*)"},
        {"位图|", "位图 (*)"},
        {"JPEG", "JPEG (*)"},
        {"", ""},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(ConvertFileFilter(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

TEST_F(DialogsTest, EmptyFilterBecomesCsvAndCancelGivesEmptyPath) {
    prompter.fileAnswers.push_back(std::nullopt);
    QString filter;
    EXPECT_EQ(GetFileNameDlg(filter, false), "");
    EXPECT_EQ(filter, kCsvFilter);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "CSV (逗号分隔)(*.csv) (*.csv)");
    EXPECT_EQ(prompter.shown[0].style, 0); // open, not save
    EXPECT_EQ(params["DefaultType"], "1");
}

TEST_F(DialogsTest, FilterIndexCarriesFromOpenToSaveAlsoAfterCancel) {
    FilterPickingPrompter p;
    SetPrompter(&p);
    QString filter = QStringLiteral("A|*.a|B|*.b|C|*.c");
    p.pick = 3;
    p.fileAnswers.push_back(std::nullopt); // the user moves to C, then cancels
    EXPECT_EQ(GetFileNameDlg(filter, false), "");
    EXPECT_EQ(params["DefaultType"], "3");
    p.pick = 0;
    p.fileAnswers.push_back(QStringLiteral("/tmp/x.c"));
    EXPECT_EQ(GetFileNameDlg(filter, true), "/tmp/x.c");
    EXPECT_EQ(p.seen.filterIndex, 3);
    EXPECT_TRUE(p.seen.save);
    EXPECT_EQ(p.seen.filter, "A (*.a);;B (*.b);;C (*.c)");
    SetPrompter(&prompter);
}

TEST_F(DialogsTest, DialogOpensOnTheLastChosenFileNameAndTheStoredIndex) {
    FilterPickingPrompter p;
    SetPrompter(&p);
    params["DefaultType"] = QStringLiteral("2abc"); // read by its leading number
    QString filter = QStringLiteral("A|*.a|B|*.b");
    p.fileAnswers.push_back(QStringLiteral("/data/trades.b"));
    GetFileNameDlg(filter, false);
    EXPECT_EQ(p.seen.filterIndex, 2);
    EXPECT_EQ(p.seen.fileName, "");
    p.fileAnswers.push_back(std::nullopt);
    GetFileNameDlg(filter, true);
    EXPECT_EQ(p.seen.fileName, "/data/trades.b");
    p.fileAnswers.push_back(std::nullopt);
    GetFileNameDlg(filter, true);
    EXPECT_EQ(p.seen.fileName, "/data/trades.b"); // a cancel keeps the name
    // A save of another type never proposes to write over that name: the proposed name goes into
    // its folder instead; an open dialog still starts on it.
    QString other = QStringLiteral("C|*.c");
    GetFileNameDlg(other, true, {QStringLiteral("new.c"), true});
    EXPECT_EQ(p.seen.fileName, "/data/new.c");
    EXPECT_TRUE(p.seen.confirmOverwrite);
    GetFileNameDlg(other, true);
    EXPECT_EQ(p.seen.fileName, "");
    EXPECT_EQ(p.seen.folder, "/data");
    EXPECT_FALSE(p.seen.confirmOverwrite);
    GetFileNameDlg(other, false);
    EXPECT_EQ(p.seen.fileName, "/data/trades.b");
    SetPrompter(&prompter);
}

// Qt's own dialog: the type picked is read back by its position, a name typed without an extension
// gets the one of that type, and only a dialog asked to confirm asks before an existing file is
// chosen, with No as the default button.
TEST_F(DialogsTest, RealDialogReadsTheTypePickedAndAddsItsExtension) {
    QTemporaryDir dir;
    for (const char *name : {"old.dbk", "report.xlsx"}) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("a workbook");
    }
    const QString exportFilter = QStringLiteral("CSV (逗号分隔)(*.csv)|*.csv|MS Excel文件  (*.xlsx)|*.xlsx");
    const QString backupFilter = QStringLiteral("DBK (数据备份文件)(*.dbk)|*.dbk");
    struct Case {
        const char *what;
        QString filter;
        int pick;  // 0: the type it opens on
        const char *typed;
        bool confirm;
        const char *chosen;  // "": none
        int index;
        bool asked;
    };
    const Case cases[] = {
        {"workbook picked", exportFilter, 2, "report_new", false, "report_new.xlsx", 2, false},
        {"CSV picked back", exportFilter, 1, "report_new", false, "report_new.csv", 1, false},
        {"an extension typed stays", exportFilter, 2, "data.txt", false, "data.txt", 2, false},
        {"backup typed without extension", backupFilter, 0, "mybook", true, "mybook.dbk", 1, false},
        {"existing file, Enter at the question", backupFilter, 0, "old", true, "", 1, true},
        {"existing file, the caller asks", exportFilter, 2, "report", false, "report.xlsx", 2, false},
    };
    QtPrompter real;
    SetPrompter(&real);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        SharedDialog() = CommonDialog();
        params["DefaultType"] = QStringLiteral("1");
        const auto visit = DriveNextFileDialog(c.pick, dir.filePath(c.typed));
        QString filter = c.filter;
        const QString chosen = GetFileNameDlg(filter, true, {QString(), c.confirm});
        EXPECT_EQ(chosen, *c.chosen ? dir.filePath(c.chosen) : QString());
        EXPECT_EQ(params["DefaultType"], QString::number(c.index));
        EXPECT_EQ(visit->question.contains(QStringLiteral("old.dbk")), c.asked) << visit->question.toStdString();
        EXPECT_EQ(visit->questionDefaultNo, c.asked);
        EXPECT_EQ(visit->stayedOpen, c.asked);
    }
    SetPrompter(&prompter);
}

TEST_F(DialogsTest, ChooseColorCancelGivesTheInitialColour) {
    prompter.colorAnswers.push_back(std::nullopt);
    EXPECT_EQ(ChooseColor(0x0000FFu), 0x0000FFu);
    prompter.colorAnswers.push_back(0x123456u);
    EXPECT_EQ(ChooseColor(0x0000FFu), 0x123456u);
    EXPECT_EQ(SharedDialog().color, 0x123456u);
    CommonDialog own;
    prompter.colorAnswers.push_back(0xABCDEFu);
    EXPECT_EQ(ChooseColor(0, &own), 0xABCDEFu);
    EXPECT_EQ(own.color, 0xABCDEFu);
    EXPECT_EQ(SharedDialog().color, 0x123456u);
}

TEST(ShellOpen, AddressesAsTheyAreAndPathsAsLocalFiles) {
    QList<QUrl> opened;
    SetShellOpenHook([&opened](const QUrl &u) {
        opened << u;
        return true;
    });
    ShellOpen(QStringLiteral("https://example.com/a?b=1"));
    ShellOpen(QStringLiteral("/opt/kelvaro/HELP.CHM"));
    ShellOpen(QStringLiteral("/tmp/a b;rm -rf ~.csv"));
    ShellOpen(QStringLiteral("mailto:someone@example.com"));
    SetShellOpenHook({});
    ASSERT_EQ(opened.size(), 4);
    EXPECT_EQ(opened[0].toString(), "https://example.com/a?b=1");
    EXPECT_EQ(opened[1], QUrl::fromLocalFile("/opt/kelvaro/HELP.CHM"));
    EXPECT_EQ(opened[2].toLocalFile(), "/tmp/a b;rm -rf ~.csv");
    EXPECT_EQ(opened[3].scheme(), "mailto");
    EXPECT_TRUE(ShellOpenUrl(QStringLiteral("notes.txt")).isLocalFile());
}
