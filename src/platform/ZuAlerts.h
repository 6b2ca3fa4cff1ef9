#pragma once

#include <QString>
#include <memory>

// An alert built from localized keys. messageText/informativeText, when set,
// replace the texts of their keys (for messages filled with values).
struct ZuAlert {
    ZuAlert() = default;
    ZuAlert(const QString& message, const QString& informative, const QString& defaultButton,
            const QString& alternateButton = {}, const QString& otherButton = {})
        : messageKey(message), informativeKey(informative), defaultKey(defaultButton),
          alternateKey(alternateButton), otherKey(otherButton) {}

    QString messageKey;
    QString informativeKey;
    QString defaultKey;
    QString alternateKey;
    QString otherKey;
    QString messageText;
    QString informativeText;

    QString message() const;
    QString informative() const;
};

// Which button ended an alert, with the platform's return values.
enum class ZuAlertButton { Default = 1, Alternate = 0, Other = -1 };

class ZuAlertAnswerer {
public:
    virtual ~ZuAlertAnswerer() = default;
    // Modal: returns when the user has chosen.
    virtual ZuAlertButton runModal(const ZuAlert& alert) = 0;
    // Non-modal: shows the alert and returns at once.
    virtual void show(const ZuAlert& alert) = 0;
};

// Where alerts go: the window's dialogs, the console when headless, or a
// script in tests. Main thread only.
class ZuAlerts {
public:
    static ZuAlertButton run(const ZuAlert& alert);
    static void show(const ZuAlert& alert);
    static void setAnswerer(std::shared_ptr<ZuAlertAnswerer> answerer);
    static std::shared_ptr<ZuAlertAnswerer> answerer();
};
