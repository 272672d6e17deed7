#pragma once

#include "Services/LibraryExchange.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QWidget;

// The file dialogs and alerts of the library's export and import. The
// standard ones are modal; tests put their own in place.
class ExchangeDialogs {
public:
    virtual ~ExchangeDialogs() = default;
    // The file to write, or none when the dialog is cancelled.
    virtual std::optional<QString> chooseExportFile(QWidget* parent, const QString& proposedName) = 0;
    // The files to read in their order; empty when the dialog is cancelled.
    virtual QStringList chooseImportFiles(QWidget* parent) = 0;
    virtual void showAlert(QWidget* parent, const ExchangeFailure& failure) = 0;

    static std::shared_ptr<ExchangeDialogs> standard();
};
