// InputMap: the import's mapping dialog.
#include "input_map_form.h"

#include <algorithm>

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "exchange/import_data.h"
#include "exchange/import_map.h"
#include "platform/busy_guard.h"
#include "platform/twips.h"
#include "storage/forms/form_ops.h"
#include "storage/forms/indicator_form.h"

namespace {

constexpr int kPreviewDelayMs = 100;
// The mapping grid's last column leaves this much of the grid's width free (twips).
constexpr int kMapColumnMargin = 300;

QPointer<InputMapForm> &TheForm()
{
    static QPointer<InputMapForm> form;
    return form;
}

}  // namespace

InputMapForm::InputMapForm()
{
    setObjectName(QStringLiteral("InputMap"));
    setWindowTitle(kInputMapCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);

    LBL[2] = new QLabel(QStringLiteral("导入说明："), this);
    HelpNote = new QLabel(QStringLiteral("列号用字母填写（A、B、C……，即右侧表格上方的列名），固定内容用双引号括起；"
                                         "买入、卖出日期每行都要有。详见菜单“帮助 → 使用说明”中的“导入交易记录”。"),
                          this);
    HelpNote->setWordWrap(true);
    Label1[0] = new QLabel(QStringLiteral("您将要导入的EXCEL表格样式："), this);
    Label1[1] = new QLabel(QStringLiteral("请按内容填入相应的对应列号："), this);
    const char *rowTexts[] = {"导入行数设置：", "行至第", "行", "第"};
    for (int i = 0; i < 4; ++i)
        Label2[i] = new QLabel(QString::fromUtf8(rowTexts[i]), this);
    M1 = new FlexGridView(this);
    M1->Grid().SetToolTipText(QStringLiteral("请填入各输入框对应表格所在的列号。"));
    M0 = new FlexGridView(this);
    M0->Grid().SetToolTipText(QStringLiteral("要导入表格的部分内容示例。"));
    const char *tips[] = {"数据导入的开始行号。", "数据导入的截止行号。"};
    for (int i = 0; i < 2; ++i) {
        T[i] = new QLineEdit(this);
        T[i]->setToolTip(QString::fromUtf8(tips[i]));
        T[i]->setFixedWidth(64);
        T[i]->installEventFilter(this);
    }
    TT = new QLineEdit(M1->viewport());
    TT->hide();
    Com[0] = new QPushButton(QStringLiteral("确  定"), this);
    Com[1] = new QPushButton(QStringLiteral("取  消"), this);
    // Return while a designation or a row number is typed must not run the import with a half-made
    // mapping: no button is pressed by Return unless it has the focus.
    for (QPushButton *button : Com) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->installEventFilter(this);
    }
    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(kPreviewDelayMs);

    M1->setFixedWidth(280);
    auto *range = new QHBoxLayout;
    range->addWidget(Label2[3]);
    range->addWidget(T[0]);
    range->addWidget(Label2[1]);
    range->addWidget(T[1]);
    range->addWidget(Label2[2]);
    range->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Com[0]);
    buttons->addWidget(Com[1]);
    auto *left = new QVBoxLayout;
    left->addWidget(LBL[2]);
    left->addWidget(HelpNote);
    left->addWidget(Label1[1]);
    left->addWidget(M1, 1);
    left->addWidget(Label2[0]);
    left->addLayout(range);
    left->addLayout(buttons);
    auto *right = new QVBoxLayout;
    right->addWidget(Label1[0]);
    right->addWidget(M0, 1);
    auto *layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);
    resize(960, 480);

    for (int i = 0; i < 2; ++i)
        connect(Com[i], &QPushButton::clicked, this, [this, i] { Com_Click(i); });
    connect(M1, &QTableView::clicked, this, [this](const QModelIndex &index) {
        M1_Click(M1->Grid().FixedRows() + index.row(), index.column());
    });
    connect(M1->verticalScrollBar(), &QScrollBar::valueChanged, this, &InputMapForm::M1_Scroll);
    connect(M1->horizontalScrollBar(), &QScrollBar::valueChanged, this, &InputMapForm::M1_Scroll);
    connect(TT, &QLineEdit::textChanged, this, &InputMapForm::TT_Change);
    TT->installEventFilter(this);
    connect(Timer1, &QTimer::timeout, this, &InputMapForm::Timer1_Timer);
    RegisterFormWidget(this, QStringLiteral("InputMap"));
    TheForm() = this;

    // Form_Load
    const auto [first, last] = StoredRowRange();
    T[0]->setText(first);
    T[1]->setText(last);
    FlexGrid &map = M1->Grid();
    InitMapGrid(map);
    const int free = M1->width() * kTwipsPerPixel - map.ColWidth(0) - map.ColWidth(1) - kMapColumnMargin;
    map.SetColWidth(2, std::max(free, map.ColWidth(2)));
    Timer1->start();
}

void InputMapForm::Com_Click(int index)
{
    // A click while a long operation lets events through (a refresh waiting on the quote service
    // among them) would run the import inside it.
    if (IsBusy())
        return;
    if (index == 1) {
        CancelImport();
        close();
        return;
    }
    if (ImportMappedRows(M1->Grid(), T[0]->text(), T[1]->text()))
        close();
}

void InputMapForm::M1_Click(int row, int col)
{
    if (col != 2)
        return;
    const QModelIndex index = M1->model()->index(row - M1->Grid().FixedRows(), col);
    const QRect cell = M1->visualRect(index);
    // The box is 10 twips wider than the cell, so it covers the cell's grid line.
    TT->setGeometry(cell.x(), cell.y(), cell.width() + 1, cell.height());
    m_editRow = -1;
    TT->setText(M1->Grid().TextMatrix(row, col));
    m_editRow = row;
    m_editCol = col;
    TT->show();
    TT->setFocus();
}

void InputMapForm::M1_Scroll()
{
    TT->hide();
}

void InputMapForm::Timer1_Timer()
{
    Timer1->stop();
    // This dialog holds the application: the progress window of a workbook's preview must be modal
    // too, or the user could not close it to stop the reading.
    if (IsWorkbookPath(ImportFilePath()))
        Indicator()->setWindowModality(Qt::ApplicationModal);
    LoadPreview(M0->Grid());
}

void InputMapForm::TT_Change(const QString &text)
{
    if (m_editRow >= 0)
        M1->Grid().SetTextMatrix(m_editRow, m_editCol, text);
}

void InputMapForm::TT_LostFocus()
{
    TT->hide();
}

void InputMapForm::TT_Return()
{
    const FlexGrid &grid = M1->Grid();
    const int next = m_editRow + 1;
    if (m_editRow < grid.FixedRows() || next >= grid.Rows()) {
        TT->hide();
        T[0]->setFocus();
        return;
    }
    M1->scrollTo(M1->model()->index(next - grid.FixedRows(), 2));
    M1_Click(next, 2);
}

bool InputMapForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == TT && event->type() == QEvent::FocusOut)
        TT_LostFocus();
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched == TT) {
                TT_Return();
                return true;
            }
            if (watched == T[0] || watched == T[1]) {
                focusNextChild();
                return true;
            }
            // A button with the focus is pressed by Return as by its space key.
            if (auto *button = qobject_cast<QPushButton *>(watched)) {
                button->click();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

InputMapForm *InputMap()
{
    if (!TheForm())
        TheForm() = new InputMapForm;
    return TheForm();
}

InputMapForm *LoadedInputMap()
{
    return TheForm();
}
