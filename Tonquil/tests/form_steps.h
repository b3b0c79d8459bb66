// Steps a test takes on a form's controls, as a person would.
#pragma once

#include <QAbstractButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <handset/ui.h>

namespace form_steps {

inline void click(CWnd* form, int id)
{
    CWnd* control = form->GetDlgItem(id);
    ASSERT_NE(nullptr, control);
    auto* button = qobject_cast<QAbstractButton*>(control->widget());
    ASSERT_NE(nullptr, button);
    button->click();
}

// The widget that has, or gets when its form is active, the keyboard focus
// (offscreen no form ever becomes the active window).
inline QWidget* focusOf(CWnd* form)
{
    return form->widget()->window()->focusWidget();
}

}  // namespace form_steps
