// Sheets: the worksheet list of an import.
#include "sheets_form.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "exchange/forms/input_map_form.h"
#include "exchange/import_data.h"
#include "platform/numeric.h"
#include "storage/forms/form_ops.h"

namespace {

QPointer<SheetsForm> &TheForm()
{
    static QPointer<SheetsForm> form;
    return form;
}

}  // namespace

SheetsForm::SheetsForm()
{
    setObjectName(QStringLiteral("Sheets"));
    setWindowTitle(kSheetsCaption);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::ApplicationModal);
    Label1 = new QLabel(QStringLiteral("请在要导入数据所在的表格行打“√”"), this);
    SHL = new FlexGridView(this);
    SHL->Grid().SetToolTipText(QStringLiteral("要导入的表格文件所含的表格张数据及其名称。"));
    IMG[0] = new QPushButton(QStringLiteral("确  定"), this);
    IMG[1] = new QPushButton(QStringLiteral("取  消"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(IMG[0]);
    buttons->addWidget(IMG[1]);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(Label1);
    layout->addWidget(SHL);
    layout->addLayout(buttons);
    resize(420, 320);
    for (int i = 0; i < 2; ++i)
        connect(IMG[i], &QPushButton::clicked, this, [this, i] { IMG_Click(i); });
    connect(SHL, &FlexGridView::MouseDown, this, &SheetsForm::SHL_MouseDown);
    RegisterFormWidget(this, QStringLiteral("Sheets"));
    TheForm() = this;

    // Form_Load
    SetTopMost(this);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_loaded = LoadSheetList(SHL->Grid(), ImportFilePath());
}

void SheetsForm::SHL_MouseDown(int button, int shift, double x, double y)
{
    Q_UNUSED(button);
    Q_UNUSED(shift);
    Q_UNUSED(x);
    TickSheetRow(SHL->Grid(), SheetRowAt(SHL->Grid(), y), LeadingNumber(Tag) == 1);
}

void SheetsForm::IMG_Click(int index)
{
    if (index == 0)
        ImportSheets() = TickedSheetNames(SHL->Grid());
    close();
}

SheetsForm *LoadedSheets()
{
    return TheForm();
}

void InstallImportWindows()
{
    ImportHooks &hooks = ImportWindowHooks();
    hooks.showSheets = [](int mode) {
        auto *form = new SheetsForm;
        if (!form->Loaded()) {
            delete form;
            return;
        }
        form->Tag = QString::number(mode);
        form->show();
    };
    hooks.showInputMap = [] { InputMap()->show(); };
}
