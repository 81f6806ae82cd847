#include "result_document.h"

#include "xml_pull_parser.h"

#include <climits>
#include <new>

namespace quillora::service {
namespace {

// A record being read: the reader collects the text of each direct child
// element (with all its descendants' text) as one field.
struct OpenRecord {
    size_t slot; // index into the result's records
    int depth;   // depth of the record element
    bool inField = false;
};

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

// Documents are read as written, without namespace processing: a record's
// tag is compared with the element's name exactly as it stands.
DocumentRecords readRecords(const QString &document, QStringView tag, int maxRecords, int fieldCount)
{
    DocumentRecords result;
    if (document.isNull()) {
        result.status = DocumentStatus::NotLoaded;
        return result;
    }
    try {
        XmlPullParser xml(document, false);
        std::vector<OpenRecord> open; // at most maxRecords at once
        // Text inside records nested in each other belongs to each of them,
        // so a document could make the fields hold its text many times over.
        // What the fields take is bounded by twice the document's length: a
        // document that asks for more is not loaded.
        qsizetype textBudget = 2 * document.size();
        for (;;) {
            const auto t = xml.next();
            if (t == XmlPullParser::EndDocument)
                break;
            if (t == XmlPullParser::Error) {
                result = DocumentRecords{};
                result.status = DocumentStatus::NotLoaded;
                return result;
            }
            if (t == XmlPullParser::Characters) {
                for (OpenRecord &r : open) {
                    if (!r.inField)
                        continue;
                    textBudget -= xml.text().size();
                    if (textBudget < 0) {
                        result = DocumentRecords{};
                        result.status = DocumentStatus::NotLoaded;
                        return result;
                    }
                    result.records[r.slot].last().append(xml.text());
                }
                continue;
            }
            const int depth = xml.depth();
            if (t == XmlPullParser::StartElement) {
                for (OpenRecord &r : open) {
                    if (depth == r.depth + 1) {
                        DocumentRecord &rec = result.records[r.slot];
                        r.inField = rec.size() < fieldCount;
                        if (r.inField)
                            rec.append(QLatin1String(""));
                    }
                }
                if (xml.qualifiedName() == tag) {
                    ++result.totalRecordsInDocument;
                    if (static_cast<int>(result.records.size()) < maxRecords) {
                        result.records.emplace_back();
                        open.push_back({result.records.size() - 1, depth});
                    }
                }
            } else { // EndElement
                if (!open.empty() && open.back().depth == depth)
                    open.pop_back();
                for (OpenRecord &r : open)
                    if (depth == r.depth + 1)
                        r.inField = false;
            }
        }
    } catch (const std::bad_alloc &) {
        result = DocumentRecords{};
        result.status = DocumentStatus::NoParser;
    }
    return result;
}

QString readFirstElementText(const QString &document, QStringView name, DocumentStatus *status)
{
    const DocumentRecords d = [&] {
        DocumentRecords r;
        if (document.isNull()) {
            r.status = DocumentStatus::NotLoaded;
            return r;
        }
        XmlPullParser xml(document, false);
        QString text;
        int depth = 0;
        bool found = false;
        for (;;) {
            const auto t = xml.next();
            if (t == XmlPullParser::EndDocument)
                break;
            if (t == XmlPullParser::Error) {
                r.status = DocumentStatus::NotLoaded;
                return r;
            }
            if (found && depth > 0) {
                if (t == XmlPullParser::Characters)
                    text += xml.text();
                else if (t == XmlPullParser::EndElement && xml.depth() == depth)
                    depth = 0; // the element has ended; keep reading to check the rest
                continue;
            }
            if (!found && t == XmlPullParser::StartElement && xml.qualifiedName() == name) {
                found = true;
                depth = xml.depth();
                text = QLatin1String("");
            }
        }
        if (found)
            r.records.push_back(QStringList{text});
        return r;
    }();
    if (status)
        *status = d.status;
    if (d.status != DocumentStatus::Ok || d.records.empty())
        return QString();
    return d.records.front().front();
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
