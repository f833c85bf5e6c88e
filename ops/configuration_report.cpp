#include "ops/configuration_report.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>

namespace ops::config {

namespace {

QString escaped(const QString& s) {
    return s.toHtmlEscaped();
}

QString settingText(const Setting* s) {
    if (!s) return QStringLiteral("(not recorded)");
    if (s->bytes) return s->text;
    if (s->refused) return QStringLiteral("refused: %1").arg(s->text);
    return QStringLiteral("(%1)").arg(s->failure);
}

} // namespace

QString reportHtml(const ReportContent& c) {
    // Letter spacing keeps "fi" from becoming one ligature glyph, so that
    // the words stay searchable in the PDF as typed.
    QString html = QStringLiteral("<body style=\"letter-spacing: 0.1px\">");
    html += QStringLiteral("<h1 style=\"letter-spacing: 0.1px\">Configuration report</h1>");
    html += QStringLiteral("<p><b>Device:</b> %1<br><b>Polling address:</b> %2<br><b>Read:</b> "
                           "%3<br><b>Printed:</b> %4 by %5</p>")
                .arg(escaped(identityText(c.asLeft)))
                .arg(c.asLeft.pollAddress)
                .arg(escaped(c.asLeft.time),
                     QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm")),
                     escaped(c.asLeft.tool));
    const bool withFound = c.asFound.has_value();
    html += QStringLiteral("<table border=\"1\" cellspacing=\"0\" cellpadding=\"3\" "
                           "width=\"100%\"><tr><th align=\"left\">Setting</th>");
    if (withFound) html += QStringLiteral("<th align=\"left\">As found</th>");
    html += withFound ? QStringLiteral("<th align=\"left\">As left</th></tr>")
                      : QStringLiteral("<th align=\"left\">Value</th></tr>");
    for (const SettingRow& row : settingRows()) {
        const Setting* left = c.asLeft.find(row.key);
        html += QStringLiteral("<tr><td>%1</td>")
                    .arg(escaped(QString::fromUtf8(row.name.data(),
                                                   static_cast<qsizetype>(row.name.size()))));
        if (withFound) {
            const Setting* found = c.asFound->find(row.key);
            const bool changed = (found && found->bytes) != (left && left->bytes) ||
                                 (found && left && found->bytes && left->bytes &&
                                  *found->bytes != *left->bytes);
            // Only where something changed: an unchanged value once.
            html += QStringLiteral("<td>%1</td>")
                        .arg(changed ? escaped(settingText(found)) : QString());
        }
        html += QStringLiteral("<td>%1</td></tr>").arg(escaped(settingText(left)));
    }
    html += QStringLiteral("</table>");
    if (!c.changes.isEmpty()) {
        html += QStringLiteral("<h2>Changes made since the program started</h2><ul>");
        for (const QString& change : c.changes)
            html += QStringLiteral("<li>%1</li>").arg(escaped(change));
        html += QStringLiteral("</ul>");
    }
    html += QStringLiteral("<p><br><br>Name: ______________________________ &nbsp;&nbsp; Date: "
                           "______________<br><br><br>Signature: "
                           "______________________________</p></body>");
    return html;
}

bool writeReport(const QString& path, const ReportContent& content, QString* error) {
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, probe.errorString());
        return false;
    }
    probe.close();
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setResolution(300);
    writer.setTitle(QStringLiteral("Configuration report"));
    writer.setCreator(content.asLeft.tool);
    QTextDocument document;
    document.setHtml(reportHtml(content));
    document.print(&writer);
    return true;
}

} // namespace ops::config
