#pragma once

class QAbstractButton;
class QAbstractSlider;
class QComboBox;
class QLabel;
class QLineEdit;
class ZuControl;

// Binds a widget to a control model both ways: the model's changes show in
// the widget, and the user's changes go into the model and run its action.
namespace ZuControlBinding {
void bind(QAbstractButton* button, ZuControl* control);
void bind(QAbstractSlider* slider, ZuControl* control);
void bind(QComboBox* popup, ZuControl* control);
void bind(QLabel* label, ZuControl* control);
void bind(QLineEdit* field, ZuControl* control);
} // namespace ZuControlBinding
