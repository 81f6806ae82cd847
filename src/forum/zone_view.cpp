#include "zone_view.h"

#include "platform/message_box.h"
#include "platform/system_open.h"
#include "presence/frame_commands.h"
#include "presence/member_values.h"
#include "service/result_document.h"
#include "service/varnel_services.h"
#include "session/head_images.h"
#include "zone_catalogue.h"

#include <QUrl>

#include <algorithm>
#include <utility>

namespace quillora::forum {

using service::CVarnelServices;
using service::Op;

namespace {

QString encoded(const QString &value)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(value));
}

QString webPath(const QString &page)
{
    return QStringLiteral("/Varnel/Web/") + page;
}

// "?PostID=..&USRID=..&USRPSW=.." with every value percent-encoded.
QString memberQuery(const QString &postId, int userId, const QString &password)
{
    return QStringLiteral("?PostID=") + encoded(postId) + QStringLiteral("&USRID=") + QString::number(userId) +
           QStringLiteral("&USRPSW=") + encoded(password);
}

} // namespace

int AnnouncementRow::kindNumber() const
{
    return service::leadingInt(kind);
}

int pageCountFor(int totalCount)
{
    if (totalCount <= 0)
        return 0;
    return totalCount / kPostPageSize + (totalCount % kPostPageSize ? 1 : 0);
}

QString pageCountText(int pages)
{
    return QStringLiteral("Total ") + QString::number(pages) + QStringLiteral(" page(s)");
}

QString singlePageText()
{
    return QStringLiteral("Total 1 page");
}

QString questionPageUrl(const service::SiteAddress &site, int zoneIndex, int listMode, const QString &postId,
                        int userId, const QString &password, const QString &replies)
{
    const QString query = memberQuery(postId, userId, password);
    if (listMode == ModeToClose)
        return service::siteUrl(site, webPath(QStringLiteral("EndPost.aspx")) + query);
    if (listMode == ModeMyQuestions)
        return service::siteUrl(site, webPath(QStringLiteral("MyPost.aspx")) + query);
    return service::siteUrl(site,
                            webPath(questionPage(zoneIndex)) + query + QStringLiteral("&temp=") + encoded(replies));
}

QString announcementPageUrl(const service::SiteAddress &site, const QString &target)
{
    return service::siteUrl(site,
                            webPath(QStringLiteral("Announce.aspx")) + QStringLiteral("?PostID=") + encoded(target));
}

QString featuredQuestionUrl(const service::SiteAddress &site, int zoneIndex, const QString &target, int userId,
                            const QString &password)
{
    return service::siteUrl(site, webPath(questionPage(zoneIndex)) + memberQuery(target, userId, password));
}

bool isOpenableLink(const QString &target)
{
    const QUrl url(target.trimmed(), QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

QList<int> postListCellWidths(int screenWidth)
{
    const double w = std::max(0, screenWidth - 236);
    return {0,
            static_cast<int>(w * 0.5),
            static_cast<int>(w * 0.16),
            static_cast<int>(w * 0.08),
            static_cast<int>(w * 0.09),
            static_cast<int>(w * 0.17),
            0};
}

int announcementColumnWidth(int screenWidth)
{
    return std::max(0, screenWidth - 236);
}

int postRowHeight(int screenHeight)
{
    return std::max(1, static_cast<int>(screenHeight * 0.98 - 230) / kPostPageSize);
}

int announcementRowHeight(int screenHeight)
{
    return std::max(1, static_cast<int>(screenHeight * 0.78 - 109) / kPostPageSize);
}

CZoneView::CZoneView(int zoneIndex, const service::SiteAddress &site, BrowsingValues &browsing,
                     const presence::MemberValues &member, ZoneViewDisplay &display, platform::MessageBoxes &messages,
                     platform::SystemOpener &opener, QString customFaceDirectory, ZoneViewHooks hooks, QObject *owner,
                     session::CustomFaceDownloads *faces)
    : m_zoneIndex(zoneIndex), m_site(site), m_browsing(browsing), m_member(member), m_display(display),
      m_messages(messages), m_opener(opener), m_faceDirectory(std::move(customFaceDirectory)),
      m_hooks(std::move(hooks)), m_owner(owner), m_faces(faces)
{
    if (!m_faces) {
        m_ownFaces = std::make_unique<session::CustomFaceDownloads>(m_site, m_faceDirectory);
        m_faces = m_ownFaces.get();
    }
    // The downloads object may be shared with other screens: every arrival
    // comes here, and customPictureArrived keeps only this view's members.
    m_faceArrivals =
        QObject::connect(m_faces, &session::CustomFaceDownloads::pictureReady, m_owner ? m_owner : m_faces,
                         [this](const QString &userId, const QString &path) { customPictureArrived(userId, path); });
}

CZoneView::~CZoneView()
{
    QObject::disconnect(m_faceArrivals);
}

QString CZoneView::viewClassName() const
{
    return forum::viewClassName(m_zoneIndex);
}

void CZoneView::message(const QString &text, bool warning)
{
    m_messages.ok(text, platform::programTitle(),
                  warning ? platform::MessageIcon::Warning : platform::MessageIcon::Information, m_owner);
}

void CZoneView::setLists(bool postList, bool announcements)
{
    m_postListEnabled = postList;
    m_announcementsEnabled = announcements;
    m_display.setListsEnabled(postList, announcements);
}

void CZoneView::show(ZonePane pane)
{
    m_front = pane;
    m_display.showPane(pane);
}

void CZoneView::pushBar()
{
    m_display.setBottomBar(m_bar);
}

void CZoneView::setPageFields(int page)
{
    m_currentPage = page;
    m_display.setPageFieldText(QString::number(page));
}

void CZoneView::navigate(const QString &url)
{
    m_pageUrl = url;
    m_display.navigate(url);
    show(ZonePane::QuestionPage);
}

void CZoneView::create()
{
    setPageFields(1);
    m_display.setPageCountText(singlePageText());
    m_bar.previousEnabled = false;
    m_bar.nextEnabled = false;
    pushBar();
    if (m_zoneIndex == 0) {
        // The head image cache belongs to the program; the first view makes it.
        session::ensureCustomFaceDirectory(m_faceDirectory);
        setLists(false, false);
    } else {
        setLists(true, false);
        show(ZonePane::PostList);
    }
    reloadOnlineExperts();
    if (m_zoneIndex == 0)
        loadAnnouncementsOnce();
}

void CZoneView::activate()
{
    m_browsing.currentZoneIndex = m_zoneIndex;
    // The Software view loaded its announcements at creation; this retries
    // there too when that load failed, as the other zones retry.
    loadAnnouncementsOnce();
}

} // namespace quillora::forum
