#include "model/GhoulCommands.h"

#include "model/Secretary.h"

#include <QTextStream>

GhoulCommands::GhoulCommands(Secretary& secretary, QTextStream& out, QTextStream& err)
    : secretary(secretary), out_(out), err_(err) {}

int GhoulCommands::add(const QString& desktopFile) {
    QString message;
    switch (secretary.addApplicationFile(desktopFile, &message)) {
    case Secretary::AddOutcome::Added:
        out_ << "Added " << secretary.ghoulList().last().name << ".\n";
        out_.flush();
        return 0;
    case Secretary::AddOutcome::Duplicate:
    case Secretary::AddOutcome::Refused:
    case Secretary::AddOutcome::Unsaved:
        break;
    }
    err_ << message << '\n';
    err_.flush();
    return 1;
}

int GhoulCommands::remove(const QString& name) {
    QString message;
    if (secretary.removeGhoulizeApplication(name, &message) == Secretary::RemoveOutcome::Removed) {
        out_ << "Removed " << name << ".\n";
        out_.flush();
        return 0;
    }
    err_ << message << '\n';
    err_.flush();
    return 1;
}

int GhoulCommands::list() {
    for (int row = 0; row < secretary.numberOfRowsInTableView(); ++row) {
        const GhoulEntry& entry = secretary.ghoulList()[row];
        out_ << entry.name << '\t' << Secretary::generationText(entry.generation) << '\t'
             << Secretary::birthdayText(entry) << '\t' << entry.fullPath << '\n';
    }
    out_.flush();
    return 0;
}
