// MSFViewSet: the window "表格外观设置" in which the user picks the nine colours of the trade grid's
// rows and quote cells. A pick takes effect on the grid at once; "取   消" puts back the colours of
// the moment the window opened; the colours are stored whenever the window closes (the close box
// acting as OK). Modeless; closing destroys it, and the next use loads it again.
#pragma once

#include <array>

#include <QWidget>

#include "storage/dialogs.h"
#include "storage/forms/widget_controls.h"
#include "storage/params.h"

class ColorBox;
class QLabel;
class QPushButton;

class MSFViewSetForm : public QWidget {
    Q_OBJECT
public:
    // Loads the window: builds the controls (each box filled with its designed colour), registers it
    // among the loaded windows and runs Form_Load.
    MSFViewSetForm();

    // The colour boxes of MSFViewSetParams().tt(0..8).
    std::array<ColorBox *, 9> TT{};
    std::array<QLabel *, 9> Label1{};
    std::array<QPushButton *, 2> Com{};
    // The window's own colour dialog state.
    CommonDialog CMM;

    // The colour of box i chosen anew; a colour other than the box's shows in the box, goes into
    // MSFViewSetParams (not stored yet) and refreshes the main window.
    void TT_Click(int index);
    // 1 puts MSFViewSetParams back as it was when the window opened and refreshes the main window;
    // either button then closes the window. A pick and 1 do nothing while a long operation holds the
    // busy guard, and hold it themselves.
    void Com_Click(int index);

protected:
    // Any close stores MSFViewSetParams as it stands (Form_Unload).
    void closeEvent(QCloseEvent *event) override;

private:
    void Form_Load();

    WidgetFormControls m_controls;
    FormParamSet m_copy;
};

// The window, loaded on first use; a closed window is loaded anew on the next use.
MSFViewSetForm *MSFViewSet();
// The window when it is loaded, else nullptr (never creates it).
MSFViewSetForm *LoadedMSFViewSet();
