#include "model/Secretary.h"

#include "model/GhoulSettings.h"
#include "workspace/DesktopEntry.h"

#include <QDebug>
#include <QFileInfo>
#include <utility>

Secretary::Secretary(GhoulSettings& settings, QObject* parent)
    : QObject(parent), settings_(settings) {}

void Secretary::awakeFromNib() {
    QStringList problems;
    ghoulList_ = settings_.loadGhoulList(&problems);
    for (const QString& problem : std::as_const(problems))
        qWarning().noquote() << "Secretary:" << settings_.fileName() + ':' << problem
                             << "- it is copied aside before the list is next saved.";
}

int Secretary::indexOf(const QString& name) const {
    for (int i = 0; i < ghoulList_.size(); ++i) {
        if (ghoulList_[i].name == name)
            return i;
    }
    return -1;
}

bool Secretary::newGhoulizeApplication(const QString& name, const QString& path) {
    if (indexOf(name) >= 0)
        return false;
    ghoulList_.append(GhoulEntry{name, path, QDateTime::currentDateTime(), 0});
    return true;
}

bool Secretary::isGhoulizeApplication(const QString& name) const {
    return indexOf(name) >= 0;
}

int Secretary::generationOfGhoul(const QString& name) const {
    const int index = indexOf(name);
    return index >= 0 ? ghoulList_[index].generation : 0;
}

void Secretary::addGhoul(const QVariantMap& info) {
    const int index = indexOf(info.value(QStringLiteral("NSApplicationName")).toString());
    if (index < 0)
        return;
    GhoulEntry& entry = ghoulList_[index];
    entry.generation = entry.generation < 0 ? 1 : entry.generation + 1;
    entry.birthday = QDateTime::currentDateTime();
}

void Secretary::deadGhoul(const QVariantMap& info) {
    const int index = indexOf(info.value(QStringLiteral("NSApplicationName")).toString());
    if (index >= 0)
        ghoulList_[index].generation = -1;
}

void Secretary::renewalGhoulView() {
    emit ghoulViewRenewed();
}

QIcon Secretary::iconForFile(const QString& path) {
    const QString icon = DesktopEntry::fromFile(path).icon();
    QIcon found;
    if (QFileInfo(icon).isAbsolute())
        found = QIcon(icon);
    else if (!icon.isEmpty())
        found = QIcon::fromTheme(icon);
    if (found.isNull())
        found = QIcon::fromTheme(QStringLiteral("application-x-executable"));
    if (found.isNull())
        return found;
    return QIcon(found.pixmap(16, 16));
}

Secretary::AddOutcome Secretary::addApplicationFile(const QString& path, QString* message) {
    const DesktopEntry entry = DesktopEntry::fromFile(path);
    if (!entry.isValid()) {
        *message = QStringLiteral("Cannot watch this application: %1.").arg(entry.error());
        qWarning().noquote() << "Secretary:" << *message;
        return AddOutcome::Refused;
    }
    if (!newGhoulizeApplication(entry.name(), entry.path())) {
        *message = QStringLiteral("%1 is already watched.").arg(entry.name());
        return AddOutcome::Duplicate;
    }
    if (!saveGhoulList()) {
        ghoulList_.removeLast();
        *message = unsavedMessage(entry.name(), QStringLiteral("added"));
        return AddOutcome::Unsaved;
    }
    message->clear();
    tableViewSelectionDidChange(static_cast<int>(ghoulList_.size()) - 1);
    renewalGhoulView();
    emit listChanged();
    return AddOutcome::Added;
}

Secretary::RemoveOutcome Secretary::removeGhoulizeApplication(const QString& name,
                                                              QString* message) {
    const int index = indexOf(name);
    if (index < 0) {
        *message = QStringLiteral("%1 is not watched.").arg(name);
        return RemoveOutcome::NotWatched;
    }
    const GhoulEntry removed = ghoulList_.takeAt(index);
    if (!saveGhoulList()) {
        ghoulList_.insert(index, removed);
        *message = unsavedMessage(name, QStringLiteral("removed"));
        return RemoveOutcome::Unsaved;
    }
    message->clear();
    if (selectedRow_ == index)
        tableViewSelectionDidChange(-1);
    else if (selectedRow_ > index)
        tableViewSelectionDidChange(selectedRow_ - 1);
    renewalGhoulView();
    emit listChanged();
    return RemoveOutcome::Removed;
}

bool Secretary::saveGhoulList() {
    if (!settings_.saveGhoulList(ghoulList_)) {
        qWarning().noquote() << "Secretary: the watched list cannot be saved:"
                             << settings_.lastError();
        return false;
    }
    if (!settings_.keptCopy().isEmpty() && std::exchange(reportedCopy_, true) == false)
        qWarning().noquote() << "Secretary:" << settings_.fileName()
                             << "as it was before this save is kept in" << settings_.keptCopy();
    return true;
}

QString Secretary::unsavedMessage(const QString& name, const QString& change) const {
    return QStringLiteral("%1 is not %2: the watched list cannot be saved (%3).")
        .arg(name, change, settings_.lastError());
}

void Secretary::actShowGhoulListPanel() {
    setRemoveButtonEnabled(selectedRow_ >= 0);
    emit showGhoulListPanel();
}

void Secretary::actAddGhoulizeApplication() {
    if (!openPanel_)
        return;
    const QString path = openPanel_();
    if (path.isEmpty())
        return;
    QString message;
    const AddOutcome outcome = addApplicationFile(path, &message);
    if (outcome == AddOutcome::Refused || outcome == AddOutcome::Unsaved)
        emit editRefused(message);
}

void Secretary::actRemoveGhoulizeApplication() {
    if (selectedRow_ < 0 || selectedRow_ >= ghoulList_.size())
        return;
    QString message;
    if (removeGhoulizeApplication(ghoulList_[selectedRow_].name, &message) ==
        RemoveOutcome::Unsaved)
        emit editRefused(message);
}

QString Secretary::generationText(int generation) {
    if (generation < 0)
        return QStringLiteral("Dead!");
    if (generation == 0)
        return QStringLiteral("No Ghoul");
    return QStringLiteral("Ghoul(%1)").arg(generation);
}

QString Secretary::birthdayText(const GhoulEntry& entry) {
    if (entry.generation <= 0)
        return QString();
    const QDateTime local = entry.birthday.toLocalTime();
    const QDate d = local.date();
    const QTime t = local.time();
    return QString::asprintf("%d.%02d.%02d/%02d:%02d:%02d", d.year(), d.month(), d.day(), t.hour(),
                             t.minute(), t.second());
}

QVariant Secretary::objectValueForTableColumn(const QString& column, int row) const {
    if (row < 0 || row >= ghoulList_.size())
        return QVariant();
    const GhoulEntry& entry = ghoulList_[row];
    if (column == QLatin1String("GhoulName"))
        return entry.name;
    if (column == QLatin1String("GhoulBirthday"))
        return birthdayText(entry);
    if (column == QLatin1String("GhoulGeneration"))
        return generationText(entry.generation);
    qWarning() << "objectValueForTableColumn error.";
    return QVariant();
}

void Secretary::tableViewSelectionDidChange(int row) {
    const int selected = row >= 0 && row < ghoulList_.size() ? row : -1;
    if (selected != selectedRow_) {
        selectedRow_ = selected;
        emit selectionChanged(selected);
    }
    setRemoveButtonEnabled(selected >= 0);
}

void Secretary::setRemoveButtonEnabled(bool enabled) {
    if (enabled == removeButtonEnabled_)
        return;
    removeButtonEnabled_ = enabled;
    emit removeButtonEnabledChanged(enabled);
}

bool Secretary::validateDrop(const QStringList& files) const {
    if (files.size() != 1)
        return false;
    // Only a file on this machine: a URL (https://…/x.desktop) or a relative
    // name is no local path, and would only be refused after the drop.
    const QFileInfo file(files.first());
    return file.isAbsolute() && file.isFile() && file.suffix() == QLatin1String("desktop");
}

bool Secretary::acceptDrop(const QStringList& files) {
    if (!validateDrop(files))
        return false;
    QString message;
    const AddOutcome outcome = addApplicationFile(files.first(), &message);
    if (outcome == AddOutcome::Refused || outcome == AddOutcome::Unsaved)
        emit editRefused(message);
    return outcome == AddOutcome::Added;
}
