// 窗体实例: the one loaded instance of a window that is loaded on first use and unloaded (destroyed)
// when it closes, so that the next use loads a new one.
#pragma once

#include <QPointer>

template <class Form>
class FormInstance {
public:
    // The loaded window; a new one (constructed with no arguments) when none is loaded.
    static Form *Get()
    {
        if (!Slot())
            Slot() = new Form;
        return Slot();
    }
    // The loaded window, nullptr when none is.
    static Form *Loaded() { return Slot(); }
    // From the window's close: the window no longer counts as loaded, so the next Get loads a new one
    // while this one waits for its deletion. Another window than the loaded one changes nothing.
    static void Forget(const Form *form)
    {
        if (Slot() == form)
            Slot() = nullptr;
    }

private:
    static QPointer<Form> &Slot()
    {
        static QPointer<Form> form;
        return form;
    }
};
