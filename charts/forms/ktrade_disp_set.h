// KTradeDispSet: the window "交易分布图显示设置" in which the user picks the sixteen colours of the
// K-line chart. A click on a colour box opens the colour dialog, and the chart is redrawn with the
// new colour at once; the colours are stored when the window closes. "取   消" first puts back the
// colours that were in force when the window opened. Modeless; closing destroys it.
#pragma once

#include <array>

#include <QWidget>

#include "storage/forms/widget_controls.h"
#include "storage/params.h"

class ColorBox;
class QFrame;
class QLabel;
class QPushButton;

class KTradeDispSetForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window: builds the controls (each colour box starting from its entry's default
    // colour), registers it among the loaded windows and runs Form_Load.
    KTradeDispSetForm();

    // The colour boxes of the sixteen entries: the colour number as decimal text, the colour shown.
    std::array<ColorBox *, 16> TT{};
    // The entry names "背景颜色：" ... "空位：".
    std::array<QLabel *, 16> Label1{};
    // "确   定" keeps the colours, "取   消" puts the opening ones back; both close.
    std::array<QPushButton *, 2> Com{};
    QFrame *Line1 = nullptr;

    // The colour of box i chosen anew in the colour dialog; a colour other than the box's shows in
    // the box, goes into KTradeDispSetParams (not stored yet) and redraws the chart.
    void TT_Click(int index);
    // 1 puts KTradeDispSetParams back as it was when the window opened and redraws the chart; either
    // button then closes the window.
    void Com_Click(int index);
    // The table as it was when the window opened.
    const FormParamSet &OpeningParams() const { return m_copy; }

protected:
    // Any close stores KTradeDispSetParams as it stands (Form_Unload).
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();
    void Form_Unload();

    WidgetFormControls m_controls;
    FormParamSet m_copy;
};

// The window, loaded on first use; a closed window is loaded anew on the next use.
KTradeDispSetForm *KTradeDispSet();
// The window when it is loaded, else nullptr (never creates it).
KTradeDispSetForm *LoadedKTradeDispSet();
