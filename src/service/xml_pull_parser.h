// A fast, strict, non-validating XML 1.0 pull parser for what the service
// sends: SOAP envelopes and the result documents inside them. It reports
// start elements, end elements and character data (text, CDATA sections and
// resolved references of one run, merged); comments, processing instructions
// and the XML declaration are checked and passed over. A DOCTYPE is refused,
// so no entity can be declared or expanded.
//
// Input is UTF-16 text that must outlive the parser. Names and attribute
// values without references are views into the input; nothing is copied
// unless a reference has to be resolved or a line end normalised.
//
// Work is linear in the input whatever it holds: a start tag carries at most
// kMaxAttributes attributes, elements nest at most kMaxDepth deep, repeated
// attributes are found with a hash table and prefixes are resolved through
// one, so no input makes the parser compare every name with every other.
//
// The tokens are read in xml_pull_parser.cpp, names and namespaces are
// resolved in xml_pull_parser_names.cpp, and bytes are decoded and
// references replaced in xml_pull_parser_characters.cpp.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringView>

#include <array>
#include <vector>

namespace quillora::service {

class XmlPullParser {
  public:
    enum Token { StartElement, EndElement, Characters, EndDocument, Error };
    // Why an Error was reported: the text is not well-formed, or it passed
    // one of the limits below.
    enum class Refusal { Malformed, TooManyAttributes, TooDeep };

    // Attributes of one start tag, namespace declarations included. Envelopes
    // and documents carry a handful; far more is an attempt to make the
    // reader work, refused before it costs anything.
    static constexpr int kMaxAttributes = 256;
    // Elements open at once.
    static constexpr int kMaxDepth = 4096;

    // With namespace processing, element and attribute prefixes are resolved
    // (an undeclared prefix is an error) and xmlns attributes are bindings,
    // not attributes. Without it, names are taken as written.
    explicit XmlPullParser(QStringView text, bool namespaceProcessing = true);

    // Decodes a response body: UTF-8 (with or without a byte-order mark),
    // UTF-16 with a byte-order mark, or ISO-8859-1 / US-ASCII when the XML
    // declaration names them. False for any other encoding.
    static bool decode(const QByteArray &bytes, QString &text);

    Token next();
    Token token() const { return m_token; }
    bool hasError() const { return m_token == Error; }
    // After an Error: which kind it was.
    Refusal refusal() const { return m_refusal; }

    // Current start or end element.
    QStringView qualifiedName() const { return m_qname; }
    QStringView localName() const { return m_local; }
    QStringView prefix() const { return m_prefix; }
    QStringView namespaceUri() const { return m_nsUri; }
    // Nesting level of the current element (the root is 1).
    int depth() const { return m_depth; }

    // Attribute of the current start element, by namespace and local name
    // (the namespace empty for an unprefixed attribute); null when absent.
    QStringView attribute(QStringView nsUri, QStringView local) const;
    // By name as written (for documents read without namespace processing).
    QStringView attribute(QStringView qualified) const;
    // The current start element's attributes in document order (namespace
    // declarations left out when namespaces are processed): namespace, local
    // name (the name as written without namespace processing) and value.
    qsizetype attributeCount() const { return static_cast<qsizetype>(m_attributes.size()); }
    QStringView attributeNamespaceUri(qsizetype i) const { return m_attributes[static_cast<size_t>(i)].nsUri; }
    QStringView attributeName(qsizetype i) const
    {
        const Attribute &a = m_attributes[static_cast<size_t>(i)];
        return m_ns ? a.local : a.qname;
    }
    QStringView attributeValue(qsizetype i) const { return valueOf(m_attributes[static_cast<size_t>(i)]); }

    // Current character data: merged text of one run between two element tags.
    QStringView text() const { return m_textView; }
    bool isWhitespace() const;

    // The namespace a prefix is bound to where the parser stands (empty
    // prefix: the default namespace); null when unbound.
    QStringView resolvePrefix(QStringView prefix) const;

    // After a start element: reads to its end; false on an error.
    bool skipCurrentElement();

  private:
    struct Attribute {
        QStringView qname, prefix, local, nsUri;
        QStringView value;
        int owned = -1; // index into m_ownedValues when the value had to be rewritten
    };
    struct Binding {
        QStringView prefix;
        QString uri;
        int shadowed = -1; // the binding of the same prefix this one hides, by index
    };

    Token fail();
    QStringView valueOf(const Attribute &a) const
    {
        return a.owned >= 0 ? QStringView(m_ownedValues[static_cast<size_t>(a.owned)]) : a.value;
    }
    bool atEnd() const { return m_pos >= m_text.size(); }
    QChar peek(qsizetype ahead = 0) const { return m_text[m_pos + ahead]; }
    bool startsWith(const char *s) const;
    bool skipSpaces();
    bool readName(QStringView &name);
    bool splitName(QStringView qname, QStringView &prefix, QStringView &local) const;
    bool readReference(QString &out);
    bool readStartTag();
    bool readEndTag();
    bool readMisc(); // comment, processing instruction, CDATA handled by caller
    bool readCharacterRun();
    bool isCharAllowed(char16_t c, qsizetype at) const;
    bool refuse(Refusal why);
    bool hasRepeatedName();
    bool hasRepeatedExpandedName();
    bool bindAndResolve(QStringView qname);
    void bind(QStringView prefix, QString uri);
    void unbindTo(size_t size);

    QStringView m_text;
    qsizetype m_pos = 0;
    bool m_ns = true;
    Token m_token = StartElement;
    Refusal m_refusal = Refusal::Malformed;
    bool m_started = false; // past the prolog's first token
    bool m_rootClosed = false;
    bool m_pendingEnd = false; // an empty-element tag still owes its end
    int m_depth = 0;

    QStringView m_qname, m_local, m_prefix, m_nsUri;
    std::vector<Attribute> m_attributes;
    std::vector<QString> m_ownedValues;
    QString m_textBuffer;
    QStringView m_textView;

    std::vector<QStringView> m_openElements; // qualified names
    std::vector<Binding> m_bindings;
    std::vector<size_t> m_bindingFrames; // m_bindings size at each open element
    // The innermost binding of each prefix in scope, by index into m_bindings.
    QHash<QStringView, int> m_innermost;

    // Open addressing over a start tag's attributes (indices + 1, 0 free),
    // twice as many slots as attributes may be; emptied after each use by
    // clearing only the slots that were filled.
    std::array<int, 2 * kMaxAttributes> m_slots{};
    std::vector<size_t> m_filled;
};

} // namespace quillora::service
