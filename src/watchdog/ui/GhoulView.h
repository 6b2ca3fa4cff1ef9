#pragma once

#include <QTableView>

class GhoulTableModel;
class Secretary;

// The watched-list table: Delete (or Backspace) removes the selected
// application, and one dropped desktop entry is added.
class GhoulView : public QTableView {
    Q_OBJECT
public:
    explicit GhoulView(QWidget* parent = nullptr);

    void setSecretary(Secretary* secretary);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    static QStringList localFiles(const QMimeData* data);
    bool validates(const QMimeData* data) const;

    Secretary* secretary = nullptr;
    GhoulTableModel* model_ = nullptr;
};
