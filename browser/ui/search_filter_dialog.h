// SearchFilterDialog: "Portfolio Search Filter", the three search settings: whether the walk keeps to
// paths like the filter path, the filter path, and whether a damaged MASTER is repaired without asking.
// OK checks that a limiting path lies on a listed volume; otherwise it says so and stays open.
#pragma once

#include "browser/discovery_rules.h"

#include <QDialog>

#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;

class SearchFilterDialog : public QDialog {
    Q_OBJECT
public:
    // `volumes`: the drive chooser's entries, against which a limiting path is checked.
    SearchFilterDialog(const SearchFilterSettings& values, std::vector<std::string> volumes,
                       QWidget* parent = nullptr);

    // The values as the boxes hold them now.
    SearchFilterSettings Values() const;

    QCheckBox* LimitBox() const { return limitBox_; }
    QLineEdit* PathEdit() const { return pathEdit_; }
    QCheckBox* RepairBox() const { return repairBox_; }
    QPushButton* OkButton() const { return okButton_; }
    QPushButton* CancelButton() const { return cancelButton_; }

    void accept() override;

private:
    void EnablePath();

    std::vector<std::string> volumes_;
    QCheckBox* limitBox_ = nullptr;
    QLineEdit* pathEdit_ = nullptr;
    QCheckBox* repairBox_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};
