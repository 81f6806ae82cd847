// XmlPullParser's names: qualified names split at their colon, the namespace
// bindings in scope and the prefixes resolved through them, and the check
// that a start tag names no attribute twice.
#include "xml_pull_parser.h"
#include "xml_pull_parser_internal.h"

namespace quillora::service {

namespace {

const QString kXmlNs = QStringLiteral("http://www.w3.org/XML/1998/namespace");

// Whether two of a start tag's first `count` attributes that `counts` lets in
// are the same by `same`, in time linear in `count`: each is looked up in an
// open-addressing table of `slots` (a power of two, more than twice `count`,
// all free on entry and again on return).
template <typename Counts, typename Hash, typename Same>
bool repeatsIn(size_t count, int *slots, size_t slotCount, std::vector<size_t> &filled, Counts counts, Hash hash,
               Same same)
{
    // A few attributes, the usual case: comparing each pair costs less than hashing.
    constexpr size_t kPairwise = 8;
    if (count <= kPairwise) {
        for (size_t i = 0; i < count; ++i)
            for (size_t j = i + 1; j < count; ++j)
                if (counts(i) && counts(j) && same(i, j))
                    return true;
        return false;
    }
    const size_t mask = slotCount - 1;
    bool repeated = false;
    for (size_t i = 0; i < count && !repeated; ++i) {
        if (!counts(i))
            continue;
        size_t slot = hash(i) & mask;
        for (; slots[slot] != 0; slot = (slot + 1) & mask) {
            if (same(static_cast<size_t>(slots[slot] - 1), i)) {
                repeated = true;
                break;
            }
        }
        if (!repeated) {
            slots[slot] = static_cast<int>(i + 1);
            filled.push_back(slot);
        }
    }
    for (size_t slot : filled)
        slots[slot] = 0;
    filled.clear();
    return repeated;
}

} // namespace

// After a start tag's attributes are read: the namespace bindings declared on
// it take effect, then its element and attribute names are resolved.
bool XmlPullParser::bindAndResolve(QStringView qname)
{
    m_bindingFrames.push_back(m_bindings.size());
    if (m_ns) {
        // Declarations leave the attribute list, which keeps its order.
        size_t kept = 0;
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            const Attribute &a = m_attributes[i];
            QStringView bound;
            bool isDecl = false;
            if (a.qname == u"xmlns") {
                isDecl = true;
            } else if (a.qname.startsWith(u"xmlns:")) {
                isDecl = true;
                bound = a.qname.mid(6);
                if (bound.isEmpty() || bound.contains(QLatin1Char(':')))
                    return false;
            }
            if (!isDecl) {
                if (kept != i)
                    m_attributes[kept] = a;
                ++kept;
                continue;
            }
            QString uri =
                (a.owned >= 0 ? QStringView(m_ownedValues[static_cast<size_t>(a.owned)]) : a.value).toString();
            if (!bound.isEmpty() && uri.isEmpty())
                return false; // a prefix cannot be unbound
            if (bound == u"xmlns" || (bound == u"xml" && uri != kXmlNs))
                return false;
            bind(bound, std::move(uri));
        }
        m_attributes.resize(kept);
        for (Attribute &a : m_attributes) {
            if (!splitName(a.qname, a.prefix, a.local))
                return false;
            if (!a.prefix.isEmpty()) {
                a.nsUri = resolvePrefix(a.prefix);
                if (a.nsUri.isNull())
                    return false;
            }
        }
        // Two attributes may not share a namespace and local name.
        if (hasRepeatedExpandedName())
            return false;
    }

    m_qname = qname;
    if (!splitName(qname, m_prefix, m_local))
        return false;
    if (m_ns) {
        m_nsUri = resolvePrefix(m_prefix);
        if (!m_prefix.isEmpty() && m_nsUri.isNull())
            return false;
    } else {
        m_nsUri = QStringView();
    }
    return true;
}

bool XmlPullParser::splitName(QStringView qname, QStringView &prefix, QStringView &local) const
{
    qsizetype colon = -1;
    if (m_ns) {
        for (qsizetype i = 0; i < qname.size(); ++i) {
            if (qname[i] == u':') {
                colon = i;
                break;
            }
        }
    }
    if (colon < 0) {
        prefix = QStringView();
        local = qname;
        return true;
    }
    prefix = qname.left(colon);
    local = qname.mid(colon + 1);
    // One colon, with a name on each side.
    return !prefix.isEmpty() && !local.isEmpty() && !local.contains(QLatin1Char(':')) &&
           xml::isNameStart(local[0].unicode());
}

QStringView XmlPullParser::resolvePrefix(QStringView prefix) const
{
    const Binding *found = nullptr;
    // A few bindings in scope, the usual case: a look along them costs less than hashing.
    constexpr size_t kScanned = 8;
    if (m_bindings.size() <= kScanned) {
        for (auto it = m_bindings.rbegin(); it != m_bindings.rend() && !found; ++it)
            if (it->prefix == prefix)
                found = &*it;
    } else if (const auto it = m_innermost.constFind(prefix); it != m_innermost.cend()) {
        found = &m_bindings[static_cast<size_t>(*it)];
    }
    if (found)
        return found->uri.isEmpty() && !prefix.isEmpty() ? QStringView() : QStringView(found->uri);
    if (prefix == u"xml")
        return kXmlNs;
    return QStringView();
}

void XmlPullParser::bind(QStringView prefix, QString uri)
{
    const int index = static_cast<int>(m_bindings.size());
    int shadowed = -1;
    if (const auto it = m_innermost.find(prefix); it != m_innermost.end()) {
        shadowed = *it;
        *it = index;
    } else {
        m_innermost.insert(prefix, index);
    }
    m_bindings.push_back({prefix, std::move(uri), shadowed});
}

// Leaves the scope of the bindings past the first `size`.
void XmlPullParser::unbindTo(size_t size)
{
    while (m_bindings.size() > size) {
        const Binding &b = m_bindings.back();
        if (b.shadowed >= 0)
            m_innermost[b.prefix] = b.shadowed;
        else
            m_innermost.remove(b.prefix);
        m_bindings.pop_back();
    }
}

// Two attributes of the current start tag written with the same name.
bool XmlPullParser::hasRepeatedName()
{
    const size_t seed = QHashSeed::globalSeed();
    return repeatsIn(
        m_attributes.size(), m_slots.data(), m_slots.size(), m_filled, [](size_t) { return true; },
        [&](size_t i) { return qHash(m_attributes[i].qname, seed); },
        [&](size_t i, size_t j) { return m_attributes[i].qname == m_attributes[j].qname; });
}

// Two prefixed attributes of the current start tag with one namespace and
// local name (an unprefixed one is in no namespace, so it cannot clash).
bool XmlPullParser::hasRepeatedExpandedName()
{
    const size_t seed = QHashSeed::globalSeed();
    return repeatsIn(
        m_attributes.size(), m_slots.data(), m_slots.size(), m_filled,
        [&](size_t i) { return !m_attributes[i].prefix.isEmpty(); },
        [&](size_t i) { return qHashMulti(seed, m_attributes[i].local, m_attributes[i].nsUri); },
        [&](size_t i, size_t j) {
            return m_attributes[i].local == m_attributes[j].local && m_attributes[i].nsUri == m_attributes[j].nsUri;
        });
}

} // namespace quillora::service
