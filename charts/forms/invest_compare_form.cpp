// InvestCompare: the asset-versus-index window.
#include "invest_compare_form.h"

#include <algorithm>

#include <QAction>
#include <QCloseEvent>
#include <QFrame>
#include <QLabel>
#include <QMenuBar>

#include "exchange/export.h"
#include "platform/prompter.h"
#include "storage/forms/form_instance.h"
#include "storage/forms/form_ops.h"

namespace {

constexpr ColorRef kCrosshairColour = 8421504;

}  // namespace

InvestCompareForm::InvestCompareForm()
{
    setObjectName(QStringLiteral("InvestCompare"));
    setWindowTitle(QStringLiteral("炒股资产变化比较图"));
    setAttribute(Qt::WA_DeleteOnClose);
    mAccList = menuBar()->addAction(QStringLiteral("交易列表"));
    mOutputMSF = menuBar()->addAction(QStringLiteral("表格导出"));
    m_client = new QWidget(this);
    setCentralWidget(m_client);

    Pic = new PictureBox(m_client);
    Pic->picture().BackColor = 0x000000;
    Pic->picture().ForeColor = 0xFFFFFF;
    Pic->setGeometry(0, 0, 800, 560);
    MSF = new FlexGridView(m_client);
    MSF->setGeometry(Pic->geometry());
    MSF->hide();
    for (size_t i = 0; i < LLFrame.size(); ++i) {
        LLFrame[i] = new QFrame(Pic);
        LLFrame[i]->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    LL[0] = std::make_unique<LineOverlay>(LLFrame[0], 0, 0, Pic->picture().Width(), 0);
    LL[1] = std::make_unique<LineOverlay>(LLFrame[1], 0, 0, 0, Pic->picture().Height());
    for (auto &line : LL)
        line->SetBorderColor(kCrosshairColour);
    L = new QLabel(QStringLiteral("日期："), Pic);
    L->move(4, 4);
    L->setAttribute(Qt::WA_TransparentForMouseEvents);
    LControl = std::make_unique<LabelOverlay>(L);
    resize(800, 600);
    m_client->installEventFilter(this);
    Pic->setFocus();

    connect(mAccList, &QAction::triggered, this, &InvestCompareForm::mAccList_Click);
    connect(mOutputMSF, &QAction::triggered, this, &InvestCompareForm::mOutputMSF_Click);
    connect(Pic, &PictureBox::keyDown, this, &InvestCompareForm::Pic_KeyDown);
    connect(Pic, &PictureBox::mouseDown, this, &InvestCompareForm::Pic_MouseDown);
    connect(Pic, &PictureBox::mouseMove, this, &InvestCompareForm::Pic_MouseMove);
    RegisterFormWidget(this, QStringLiteral("InvestCompare"));
}

InvestCompareForm::~InvestCompareForm() = default;

void InvestCompareForm::Form_Load()
{
    m_state.CrosshairOn = true;
    ReadDeelRes(m_state, Pic->picture());
    m_loaded = true;
}

void InvestCompareForm::Form_Resize()
{
    if (isMinimized())
        return;
    const int width = std::max(m_client->width(), 0);
    const int height = std::max(m_client->height(), 0);
    Pic->setGeometry(0, 0, width, height);
    MSF->setGeometry(0, 0, width, height);
    const Picture &pic = Pic->picture();
    LL[0]->SetX1(0);
    LL[0]->SetX2(pic.Width());
    LL[1]->SetY1(0);
    LL[1]->SetY2(pic.Height());
    if (m_loaded)
        DrawLine(m_state, Pic->picture());
}

void InvestCompareForm::mAccList_Click()
{
    if (MSF->isVisible()) {
        MSF->hide();
        return;
    }
    FillClosedTradeGrid(MSF->Grid());
    m_listFilled = true;
    MSF->show();
    MSF->raise();
}

void InvestCompareForm::mOutputMSF_Click()
{
    // Until the list is asked for, the hidden grid holds only its empty initial cells.
    if (!m_listFilled) {
        MsgBox(QStringLiteral("表格中没有数据！"));
        return;
    }
    ExportGrid(MSF->Grid(), QStringLiteral("Kelvaro股票市值表"), QString());
}

void InvestCompareForm::Pic_KeyDown(int keyCode, int shift)
{
    auto &[first, last] = m_state.VisibleRange;
    if (MoveVisibleRange(first, last, m_state.N(), keyCode, shift))
        DrawLine(m_state, Pic->picture());
}

void InvestCompareForm::Pic_MouseDown(int button, int shift, double x, double y)
{
    Q_UNUSED(button);
    Q_UNUSED(shift);
    Q_UNUSED(x);
    Q_UNUSED(y);
    m_state.CrosshairOn = !m_state.CrosshairOn;
}

void InvestCompareForm::Pic_MouseMove(int button, int shift, double x, double y)
{
    Q_UNUSED(button);
    Q_UNUSED(shift);
    if (!m_state.CrosshairOn || m_state.N() < 1)
        return;
    LL[0]->SetY1(y);
    LL[0]->SetY2(y);
    LL[1]->SetX1(x);
    LL[1]->SetX2(x);
    if (const auto text = CompareReadout(m_state, x, Pic->picture().Width()))
        LControl->SetCaption(*text);
}

bool InvestCompareForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_client && event->type() == QEvent::Resize)
        Form_Resize();
    return QMainWindow::eventFilter(watched, event);
}

void InvestCompareForm::closeEvent(QCloseEvent *event)
{
    FormInstance<InvestCompareForm>::Forget(this);
    event->accept();
}

InvestCompareForm *InvestCompare()
{
    if (InvestCompareForm *form = FormInstance<InvestCompareForm>::Loaded())
        return form;
    InvestCompareForm *form = FormInstance<InvestCompareForm>::Get();
    form->Form_Load();
    return form;
}

InvestCompareForm *LoadedInvestCompare()
{
    return FormInstance<InvestCompareForm>::Loaded();
}

void ShowInvestCompare()
{
    ShowModeless(InvestCompare());
}
