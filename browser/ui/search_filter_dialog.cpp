#include "browser/ui/search_filter_dialog.h"

#include "shell/ui/dialog_units.h"
#include "shell/ui/prompts.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

SearchFilterDialog::SearchFilterDialog(const SearchFilterSettings& values, std::vector<std::string> volumes,
                                       QWidget* parent)
    : QDialog(parent), volumes_(std::move(volumes)) {
    setObjectName("searchFilterDialog");
    setWindowTitle(QStringLiteral("Portfolio Search Filter"));
    const DialogUnits units(font());
    setFixedSize(units.Rect(0, 0, 187, 90).size());

    limitBox_ = new QCheckBox(QStringLiteral("Only search for Portfolios in paths like that below"), this);
    limitBox_->setObjectName("limitBox");
    limitBox_->setGeometry(units.Rect(10, 5, 170, 15));
    pathEdit_ = new QLineEdit(this);
    pathEdit_->setObjectName("filterPath");
    pathEdit_->setGeometry(units.Rect(10, 25, 170, 12));
    repairBox_ = new QCheckBox(QStringLiteral("Automatically repair bad Masters"), this);
    repairBox_->setObjectName("repairBox");
    repairBox_->setGeometry(units.Rect(10, 45, 115, 15));
    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setGeometry(units.Rect(75, 70, 50, 14));
    okButton_->setDefault(true);
    cancelButton_ = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton_->setGeometry(units.Rect(131, 70, 50, 14));
    FitTexts(*this, units.X(6));
    // A dialog grown for its texts keeps the path and the buttons at its right edge.
    const int right = width() - units.X(6);
    pathEdit_->resize(right - pathEdit_->x(), pathEdit_->height());
    cancelButton_->move(right - cancelButton_->width(), cancelButton_->y());
    okButton_->move(cancelButton_->x() - units.X(6) - okButton_->width(), okButton_->y());

    limitBox_->setChecked(values.limit);
    pathEdit_->setText(QString::fromStdString(values.path));
    pathEdit_->setCursorPosition(0);
    repairBox_->setChecked(values.repair);
    EnablePath();

    connect(limitBox_, &QCheckBox::clicked, this, &SearchFilterDialog::EnablePath);
    connect(okButton_, &QPushButton::clicked, this, &SearchFilterDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &SearchFilterDialog::reject);
}

SearchFilterSettings SearchFilterDialog::Values() const {
    return {limitBox_->isChecked(), pathEdit_->text().toStdString(), repairBox_->isChecked()};
}

void SearchFilterDialog::EnablePath() {
    pathEdit_->setEnabled(limitBox_->isChecked());
}

void SearchFilterDialog::accept() {
    const SearchFilterSettings values = Values();
    if (!SearchFilterAccepted(values.limit, values.path, volumes_)) {
        Prompts::Get().Warning(this, QString::fromLatin1(kUnknownDriveMessage));
        pathEdit_->setFocus();
        return;
    }
    QDialog::accept();
}
