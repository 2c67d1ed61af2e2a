// ScanProgressDialog: the small modeless window shown while a volume is searched for portfolios: the
// directory being searched and the number of MASTER files found so far. It has no buttons and no close
// box: the search runs to its end.
#pragma once

#include <QDialog>
#include <QElapsedTimer>

class QLabel;

class ScanProgressDialog : public QDialog {
    Q_OBJECT
public:
    explicit ScanProgressDialog(QWidget* parent);

    // Shows the window centred on the screen, with the texts "starting..." and "0".
    void Start();
    // Takes the walk's texts. The walk runs without the event loop, so the window is repainted here
    // whenever the count changes, and otherwise a few times a second.
    void Update(const QString& directory, int found);

    QString PathText() const { return path_; }
    QString CountText() const;

private:
    void ShowPath();

    QString path_;
    QLabel* pathLabel_ = nullptr;
    QLabel* countLabel_ = nullptr;
    int found_ = 0;
    QElapsedTimer sincePaint_;
};
