#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

// The model of one interface control (button, check box, slider, text field,
// pop-up). A component owns its controls and reads them in its actions, so it
// runs without a window; the window binds widgets to these models both ways.
class ZuControl : public QObject {
    Q_OBJECT
public:
    using Action = std::function<void(ZuControl& sender)>;

    explicit ZuControl(const QString& name = {}, QObject* parent = nullptr);

    QString name() const { return controlName; }

    int state() const { return stateValue; }
    void setState(int value);
    double value() const { return doubleValue; }
    void setValue(double value);
    bool isEnabled() const { return enabled; }
    void setEnabled(bool value);
    bool isHidden() const { return hidden; }
    void setHidden(bool value);
    QString title() const { return titleText; }
    void setTitle(const QString& value);
    QString text() const { return stringValue; }
    void setText(const QString& value);
    QColor color() const { return textColor; }
    void setColor(const QColor& value);
    QString imageName() const { return image; }
    void setImageName(const QString& value);
    QString toolTip() const { return tip; }
    void setToolTip(const QString& value);
    QStringList items() const { return itemTitles; }
    void setItems(const QStringList& value);
    int selectedIndex() const { return selected; }
    void setSelectedIndex(int value);
    QString selectedItem() const;
    double minValue() const { return minimum; }
    double maxValue() const { return maximum; }
    void setRange(double min, double max);

    // The action run when the user operates the control.
    void setAction(Action action);
    // The user operated the control: the window calls this after setting the
    // new state or value; tests call it to click.
    void perform();

signals:
    void changed();

private:
    void touch();

    QString controlName;
    int stateValue = 0;
    double doubleValue = 0.0;
    double minimum = 0.0;
    double maximum = 1.0;
    bool enabled = true;
    bool hidden = false;
    QString titleText;
    QString stringValue;
    QColor textColor;
    QString image;
    QString tip;
    QStringList itemTitles;
    int selected = -1;
    Action action;
};
