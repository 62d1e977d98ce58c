// Rightform: the about box.
#include "rightform.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QVBoxLayout>

#include "storage/dialogs.h"
#include "storage/forms/form_instance.h"
#include "storage/forms/form_ops.h"

// The icon lives in a resource of this library; a static library must register it itself.
static void InitIconResource()
{
    Q_INIT_RESOURCE(rightform);
}

RightformForm::RightformForm()
{
    InitIconResource();
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("版权说明"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    RegisterFormWidget(this, QStringLiteral("Rightform"));

    Image1 = new QLabel(this);
    Image1->setPixmap(QPixmap(QStringLiteral(":/rightform/program_icon.png")));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    const QString lines[] = {QStringLiteral("Kelvaro股票记账软件"), QStringLiteral("主页：") + kHomePage,
                             QStringLiteral("电子邮件：support@kelvaro.example")};
    auto *text = new QVBoxLayout;
    for (int i = 0; i < static_cast<int>(lblCompany.size()); ++i) {
        lblCompany[i] = new QLabel(lines[i], this);
        text->addWidget(lblCompany[i]);
    }
    QFont title = lblCompany[0]->font();
    title.setBold(true);
    lblCompany[0]->setFont(title);
    lblVersion = new QLabel(QStringLiteral("版本：[版本号]"), this);
    text->addWidget(lblVersion);
    for (QLabel *label : {Image1, lblCompany[0], lblCompany[1], lblCompany[2], lblVersion}) {
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
    }

    auto *top = new QHBoxLayout;
    top->addWidget(Image1);
    top->addSpacing(12);
    top->addLayout(text, 1);
    const ButtonRow row = LayOutWithButtons(this, top, {QStringLiteral("确  定")}, [this](int) { close(); });
    Line1 = row.line;
    Com = row.buttons[0];

    // Form_Load
    lblVersion->setText(lblVersion->text().replace(QStringLiteral("[版本号]"), QStringLiteral("2.0")));
}

void RightformForm::OpenHomePage()
{
    ShellOpen(kHomePage);
}

bool RightformForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonPress && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        OpenHomePage();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void RightformForm::closeEvent(QCloseEvent *event)
{
    FormInstance<RightformForm>::Forget(this);
    event->accept();
}

RightformForm *Rightform()
{
    return FormInstance<RightformForm>::Get();
}

RightformForm *LoadedRightform()
{
    return FormInstance<RightformForm>::Loaded();
}
