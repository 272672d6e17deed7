#include "Views/Library/ExchangeDialogs.h"
#include "Views/Window/PlainAlert.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QStandardPaths>

namespace {

const QString fileTypes = QStringLiteral("Quillsheet files (*.quillsheet *.json)");

class StandardExchangeDialogs : public ExchangeDialogs {
public:
    std::optional<QString> chooseExportFile(QWidget* parent, const QString& proposedName) override
    {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setNameFilter(fileTypes);
        dialog.setDefaultSuffix(QStringLiteral("quillsheet"));
        dialog.setDirectory(m_folder.isEmpty() ? startFolder() : m_folder);
        dialog.selectFile(proposedName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        m_folder = dialog.directory().absolutePath();
        return dialog.selectedFiles().first();
    }

    QStringList chooseImportFiles(QWidget* parent) override
    {
        QFileDialog dialog(parent);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilter(fileTypes);
        dialog.setDirectory(m_folder.isEmpty() ? startFolder() : m_folder);
        if (dialog.exec() != QDialog::Accepted)
            return {};
        m_folder = dialog.directory().absolutePath();
        return dialog.selectedFiles();
    }

    void showAlert(QWidget* parent, const ExchangeFailure& failure) override
    {
        QMessageBox alert(parent);
        alert.setIcon(QMessageBox::Warning);
        alert.setWindowTitle(QStringLiteral("Quillsheet"));
        alert.setText(boundedAlertText(failure.title));
        alert.setInformativeText(boundedAlertText(failure.message));
        alert.setTextFormat(Qt::PlainText); // file names and texts from a file are never markup
        alert.setStandardButtons(QMessageBox::Ok);
        alert.exec();
    }

private:
    static QString startFolder()
    {
        const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        return QDir(documents).exists() ? documents : QDir::homePath();
    }

    QString m_folder; // the folder used last, for the next dialog
};

} // namespace

std::shared_ptr<ExchangeDialogs> ExchangeDialogs::standard()
{
    return std::make_shared<StandardExchangeDialogs>();
}
