// Indicator: the progress window.
#include "indicator_form.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

#include "storage/forms/form_ops.h"
#include "storage/indicator.h"

namespace {

constexpr int kBusyTickMs = 100;

QPointer<IndicatorForm> &Loaded()
{
    static QPointer<IndicatorForm> form;
    return form;
}

class IndicatorWindowView : public IndicatorView {
public:
    void ShowWindow(bool busy) override
    {
        IndicatorForm *f = Indicator();
        f->SetBusy(busy);
        f->show();
    }
    void HideWindow() override { UnloadIndicator(); }
    void SetBar(int min, int max, int value) override
    {
        QProgressBar *bar = Indicator()->Bar;
        bar->setRange(min, max);
        bar->setValue(value);
    }
    void SetMessage(const QString &text) override { Indicator()->LBL->setText(text); }
    void SetTimeText(const QString &text) override { Indicator()->L1->setText(text); }
};

}  // namespace

IndicatorForm::IndicatorForm() : QWidget(nullptr, Qt::Tool)
{
    setObjectName(QStringLiteral("Indicator"));
    setWindowTitle(QStringLiteral("进度指示器"));
    setAttribute(Qt::WA_DeleteOnClose);
    LBL = new QLabel(QStringLiteral("进度条指示器"), this);
    L1 = new QLabel(this);
    Bar = new QProgressBar(this);
    Bar->setRange(0, 100);
    Bar->setValue(0);
    Timer1 = new QTimer(this);
    Timer1->setInterval(kBusyTickMs);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LBL);
    layout->addWidget(Bar);
    layout->addWidget(L1);
    resize(360, 100);
    connect(Timer1, &QTimer::timeout, this, &IndicatorForm::Timer1_Timer);
    RegisterFormWidget(this, QStringLiteral("Indicator"));
    SetIndicatorShown(true);
    SetTopMost(this);
}

void IndicatorForm::SetBusy(bool busy)
{
    Bar->setTextVisible(!busy);
    if (busy)
        Timer1->start();
    else
        Timer1->stop();
}

void IndicatorForm::closeEvent(QCloseEvent *event)
{
    Timer1->stop();
    // The next use loads a new window while this one waits for its deletion.
    if (Loaded() == this)
        Loaded() = nullptr;
    SetIndicatorShown(false);
    event->accept();
}

void IndicatorForm::Timer1_Timer()
{
    const int next = Bar->value() + 1;
    Bar->setValue(next >= Bar->maximum() ? Bar->minimum() : next);
}

IndicatorForm *LoadedIndicator()
{
    return Loaded();
}

IndicatorForm *Indicator()
{
    if (!Loaded())
        Loaded() = new IndicatorForm;
    return Loaded();
}

void UnloadIndicator()
{
    if (IndicatorForm *f = Loaded()) {
        Loaded() = nullptr;
        f->Timer1->stop();
        SetIndicatorShown(false);
        delete f;
    }
}

void InstallIndicatorWindow()
{
    static IndicatorWindowView view;
    SetIndicatorView(&view);
}
