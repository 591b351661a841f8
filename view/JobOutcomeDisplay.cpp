#include "view/JobOutcomeDisplay.h"

#include <QApplication>
#include <QFileInfo>
#include <QStyle>

namespace tavrin::view {
namespace {

QString Escaped(const QString& text)
{
    return text.toHtmlEscaped();
}

// A link target in quotes the message box reads back; a path it cannot quote gets no link.
QString Link(const QString& target, const QString& text)
{
    const bool apostrophe = target.contains(QLatin1Char('\''));
    if (target.contains(QLatin1Char('<')) || target.contains(QLatin1Char('>')) ||
        (apostrophe && target.contains(QLatin1Char('"'))))
        return {};
    QString quotedTarget = target;
    quotedTarget.replace(QLatin1Char('&'), QStringLiteral("&amp;"));
    const QChar quote = apostrophe ? QLatin1Char('"') : QLatin1Char('\'');
    return QStringLiteral("<a href=") + quote + quotedTarget + quote + QLatin1Char('>') + text + QStringLiteral("</a>");
}

} // namespace

QIcon OutcomeIcon(PackageOutcome outcome)
{
    QStyle* style = QApplication::style();
    switch (outcome) {
    case PackageOutcome::NoDamageFound: return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case PackageOutcome::Repaired: return style->standardIcon(QStyle::SP_DialogApplyButton);
    case PackageOutcome::RepairedWithLosses: return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case PackageOutcome::NotRepaired:
    case PackageOutcome::NotSaved: return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case PackageOutcome::Pending: break;
    }
    return {};
}

QString OutcomeText(PackageOutcome outcome)
{
    return QString::fromUtf8(ToString(outcome));
}

QString SavedPackagesHtml(const std::vector<SavedPackage>& saved)
{
    QString html;
    for (const SavedPackage& package : saved) {
        const QFileInfo output(package.output);
        html += QStringLiteral("<br>") + Escaped(output.fileName()) + QStringLiteral(" (") +
                Escaped(OutcomeText(package.outcome)) + QStringLiteral("): ");
        const QString open = Link(output.absoluteFilePath(), QStringLiteral("Open in LibreOffice"));
        const QString folder = Link(output.absolutePath(), QStringLiteral("Show in folder"));
        html += open.isEmpty() ? Escaped(output.absoluteFilePath()) : open + QStringLiteral(" | ") + folder;
    }
    return html;
}

} // namespace tavrin::view
