#include "result_document.h"

#include <QDomDocument>

#include <climits>
#include <new>

namespace quillora::service {
namespace {

// Loads the document; false for a null string or text that is not well-formed.
bool load(QDomDocument &doc, const QString &text)
{
    if (text.isNull())
        return false;
    return static_cast<bool>(doc.setContent(text, false));
}

// Visits the elements below `root` in document order, depth first, without
// recursion (a deeply nested document must not exhaust the stack). The visitor
// returns false to stop.
template <typename Visit> void walkElements(const QDomNode &root, Visit visit)
{
    QDomNode node = root.firstChild();
    while (!node.isNull()) {
        if (node.isElement() && !visit(node.toElement()))
            return;
        QDomNode next = node.firstChild();
        if (next.isNull()) {
            while (!node.isNull() && node != root) {
                next = node.nextSibling();
                if (!next.isNull())
                    break;
                node = node.parentNode();
            }
            if (node.isNull() || node == root)
                return;
        }
        node = next;
    }
}

} // namespace

QString documentStatusMessage(DocumentStatus status)
{
    switch (status) {
    case DocumentStatus::Ok:
        return QString();
    case DocumentStatus::NoParser:
        return QStringLiteral("CoCreateInstance failed.");
    case DocumentStatus::NotLoaded:
        return QStringLiteral("Failed to load the XML stream into the DOM.");
    }
    return QString();
}

DocumentRecords readRecords(const QString &document, QStringView tag, int maxRecords, int fieldCount)
{
    DocumentRecords result;
    try {
        QDomDocument doc;
        if (!load(doc, document)) {
            result.status = DocumentStatus::NotLoaded;
            return result;
        }
        walkElements(doc, [&](const QDomElement &e) {
            if (e.tagName() != tag)
                return true;
            ++result.totalRecordsInDocument;
            if (static_cast<int>(result.records.size()) >= maxRecords)
                return true;
            DocumentRecord record;
            for (QDomElement field = e.firstChildElement(); !field.isNull() && record.size() < fieldCount;
                 field = field.nextSiblingElement())
                record.append(field.text());
            result.records.push_back(std::move(record));
            return true;
        });
    } catch (const std::bad_alloc &) {
        result = DocumentRecords{};
        result.status = DocumentStatus::NoParser;
    }
    return result;
}

QString readFirstElementText(const QString &document, QStringView name, DocumentStatus *status)
{
    QDomDocument doc;
    if (!load(doc, document)) {
        if (status)
            *status = DocumentStatus::NotLoaded;
        return QString();
    }
    if (status)
        *status = DocumentStatus::Ok;
    QString text;
    walkElements(doc, [&](const QDomElement &e) {
        if (e.tagName() != name)
            return true;
        text = e.text();
        if (text.isNull())
            text = QLatin1String("");
        return false;
    });
    return text;
}

int leadingInt(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t' || text[i] == u'\n' || text[i] == u'\r' || text[i] == u'\v' ||
                     text[i] == u'\f'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    long long value = 0;
    for (; i < n && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

} // namespace quillora::service
