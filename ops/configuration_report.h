#pragma once
// The configuration report: a PDF page a technician signs. The device's
// identity, every setting as the device holds it now, the values as found
// where a restore or a trim changed them since the program started, the
// date, and lines for name and signature.

#include "ops/configuration.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace ops::config {

struct ReportContent {
    Configuration asLeft;                // read just now
    std::optional<Configuration> asFound; // the first reading of this device in this run
    QStringList changes;                  // restores and trims since the program started
};

// The report as HTML (what the PDF shows).
QString reportHtml(const ReportContent& content);
// Writes the PDF; false with `error` set when the file cannot be written.
bool writeReport(const QString& path, const ReportContent& content, QString* error);

} // namespace ops::config
