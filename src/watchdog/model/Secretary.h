#pragma once

#include "model/GhoulEntry.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariant>
#include <functional>

class GhoulSettings;

// Keeps the list of watched applications, its generations and birthdays, and
// serves it to the list table. The table's widgets bind to the state here
// (rows, selection, remove button) and call the actions.
class Secretary : public QObject {
    Q_OBJECT
public:
    enum class AddOutcome { Added, Duplicate, Refused, Unsaved };
    enum class RemoveOutcome { Removed, NotWatched, Unsaved };

    explicit Secretary(GhoulSettings& settings, QObject* parent = nullptr);

    // Loads the stored list: every entry that reads back whole. What cannot
    // be read is skipped with a console warning, and the file is copied aside
    // before the list is next saved over it.
    void awakeFromNib();

    // List operations. Names are compared exactly.
    bool newGhoulizeApplication(const QString& name, const QString& path);
    bool isGhoulizeApplication(const QString& name) const;
    int generationOfGhoul(const QString& name) const;
    // info["NSApplicationName"] names the entry; both change memory only.
    void addGhoul(const QVariantMap& info);
    void deadGhoul(const QVariantMap& info);
    void renewalGhoulView();
    const QList<GhoulEntry>& ghoulList() const { return ghoulList_; }
    static QIcon iconForFile(const QString& path);

    // Adds the desktop entry at path after checking it can be launched, and
    // saves. Otherwise *message says why (a refusal also on the console);
    // Unsaved: the list could not be saved, and is left as it was. Only the
    // panel's add and drop announce a failure with editRefused: an edit from
    // the command line must not wait on an alert in the panel.
    AddOutcome addApplicationFile(const QString& path, QString* message);
    // Removes by name and saves; otherwise *message says why, and an Unsaved
    // list is left as it was.
    RemoveOutcome removeGhoulizeApplication(const QString& name, QString* message);
    // False, with a console line, when the list could not be saved.
    bool saveGhoulList();

    // Actions of the list panel.
    void setOpenPanel(std::function<QString()> panel) { openPanel_ = std::move(panel); }
    void actShowGhoulListPanel();
    void actAddGhoulizeApplication();
    void actRemoveGhoulizeApplication();

    // Table data source and delegate.
    int numberOfRowsInTableView() const { return static_cast<int>(ghoulList_.size()); }
    QVariant objectValueForTableColumn(const QString& column, int row) const;
    void tableViewSelectionDidChange(int row);
    int selectedRow() const { return selectedRow_; }
    bool removeButtonEnabled() const { return removeButtonEnabled_; }
    bool validateDrop(const QStringList& files) const;
    bool acceptDrop(const QStringList& files);

    static QString generationText(int generation);
    static QString birthdayText(const GhoulEntry& entry);

signals:
    void ghoulViewRenewed();
    void selectionChanged(int row);
    void removeButtonEnabledChanged(bool enabled);
    // The watched names changed (an add or a remove).
    void listChanged();
    // An add or remove from the panel did not happen.
    void editRefused(const QString& message);
    void showGhoulListPanel();

private:
    int indexOf(const QString& name) const;
    QString unsavedMessage(const QString& name, const QString& change) const;
    void setRemoveButtonEnabled(bool enabled);

    GhoulSettings& settings_;
    QList<GhoulEntry> ghoulList_;
    int selectedRow_ = -1;
    bool removeButtonEnabled_ = false;
    std::function<QString()> openPanel_;
    bool reportedCopy_ = false;
};
