// Result documents: XML text carried in string results. Records are elements
// with a fixed tag (matched exactly); a record's fields are its child
// elements, read by position as text. Every reader goes through readRecords.
#pragma once

#include "shared_limits.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <vector>

namespace quillora::service {

enum class DocumentStatus {
    Ok,
    NoParser,  // the document parser could not be created
    NotLoaded, // a null result or text that is not well-formed XML
};

// "CoCreateInstance failed." or "Failed to load the XML stream into the DOM."
// (empty for Ok).
QString documentStatusMessage(DocumentStatus status);

// One record's fields; it holds at most the reader's field count, fewer when
// the record has fewer child elements.
using DocumentRecord = QStringList;

struct DocumentRecords {
    DocumentStatus status = DocumentStatus::Ok;
    std::vector<DocumentRecord> records;
    int totalRecordsInDocument = 0; // all records with the tag, before the limit
};

// Reads at most maxRecords records with tag `tag`, at most fieldCount fields each.
DocumentRecords readRecords(const QString &document, QStringView tag, int maxRecords, int fieldCount);

// The text of the first element named `name` anywhere in the document (used
// for PKID); status NotLoaded as readRecords; a null string when there is none.
QString readFirstElementText(const QString &document, QStringView name, DocumentStatus *status);

// Leading-digit decimal conversion: leading white space and a sign allowed,
// digits read up to the first other character, no digits gives 0. Values
// beyond the int range saturate.
int leadingInt(QStringView text);

// Sets `field` from position `pos` of `record` when the record has it; a
// missing field leaves `field` unchanged.
inline void takeField(const DocumentRecord &record, int pos, QString &field)
{
    if (pos >= 0 && pos < record.size())
        field = record.at(pos);
}
inline void takeField(const DocumentRecord &record, int pos, int &field)
{
    if (pos >= 0 && pos < record.size())
        field = leadingInt(record.at(pos));
}

// Record tags of the documents.
inline constexpr char16_t kUserTag[] = u"User";
inline constexpr char16_t kForumPostsTag[] = u"ForumPosts";
inline constexpr char16_t kForumPostTag[] = u"ForumPost";
inline constexpr char16_t kMessageTag[] = u"Message";

// Reader limits (how many records a list may hold is in shared_limits.h).
inline constexpr int kSignInUserFields = 18;
inline constexpr int kProfileUserFields = 15;
inline constexpr int kZoneExpertFields = 9;
inline constexpr int kPostExpertFields = 7;
inline constexpr int kPostListFields = 7;
inline constexpr int kAnnouncementFields = 3;
inline constexpr int kMessageFields = 9;
inline constexpr int kScoresMax = 7, kScoreFields = 5;

} // namespace quillora::service
