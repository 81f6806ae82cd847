// The site's files: the style sheet, the version file the client checks for
// updates, the members' custom head images and the installer note.
#include "site_internal.h"

#include <fcntl.h>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

namespace varnel::site {

namespace {

void headImage(const httplib::Request &req, httplib::Response &res, SiteContext &ctx)
{
    static const std::regex kName(R"(([0-9]{1,10})\.bmp)");
    const std::string name = req.matches[1];
    std::smatch m;
    if (!std::regex_match(name, m, kName) || !parsePositive(m[1])) {
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    // Only plain files right in the head-image directory; links are not followed.
    std::error_code ec;
    const std::filesystem::path path = ctx.options.filesDir / name;
    const auto status = std::filesystem::symlink_status(path, ec);
    constexpr std::uintmax_t kMaxImage = 4 * 1024 * 1024;
    if (ec || !std::filesystem::is_regular_file(status) || std::filesystem::file_size(path, ec) > kMaxImage || ec) {
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    // Opened without following a link, so a link put in place after the
    // check above is refused too.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uintmax_t>(st.st_size) > kMaxImage) {
        if (fd >= 0)
            ::close(fd);
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    std::string data(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got != data.size()) {
        sendNotice(res, 404, "Not found", "There is no such head image.");
        return;
    }
    res.set_header("X-Content-Type-Options", "nosniff");
    res.set_content(data, "image/bmp");
}

constexpr std::string_view kInstallerText =
    "Quillora for Linux\r\n"
    "==================\r\n"
    "\r\n"
    "This community does not offer a Windows installer. Quillora is a Linux\r\n"
    "desktop client built with Qt 6; this file only explains how to get it.\r\n"
    "\r\n"
    "1. Install the build dependencies (Debian 12):\r\n"
    "     apt-get install cmake ninja-build g++ qt6-base-dev qt6-webengine-dev \\\r\n"
    "       libcurl4-openssl-dev nettle-dev libcpp-httplib-dev libsqlite3-dev\r\n"
    "2. Get the Quillora source from your community's operators.\r\n"
    "3. Build it:\r\n"
    "     cmake -S quillora -B build -G Ninja -DCMAKE_BUILD_TYPE=Release \\\r\n"
    "       -DQUILLORA_SITE_HOST=<this site's host name>\r\n"
    "     ninja -C build\r\n"
    "4. Run build/src/app/quillora and sign in with your member name.\r\n"
    "\r\n"
    "The same source builds varnel-server, the community server.\r\n";

} // namespace

void registerFiles(httplib::Server &server, const std::shared_ptr<SiteContext> &ctx)
{
    server.Get(kStyleSheetPath, guarded([](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Cache-Control", "max-age=3600");
                   res.set_content(std::string(styleSheet()), "text/css; charset=utf-8");
               }));
    server.Get(R"(/Varnel/Web/versioncheck\.txt)", guarded([ctx](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Cache-Control", "no-cache");
                   res.set_content(ctx->options.latestVersion, "text/plain");
               }));
    server.Get(R"(/Varnel/Web/images/CustomFace/(.*))", contextPage(ctx, headImage));
    server.Get(R"(/Quillora/download/Quillora\.exe)", guarded([](const httplib::Request &, httplib::Response &res) {
                   res.set_header("Content-Disposition", "attachment; filename=\"Quillora-for-Linux.txt\"");
                   res.set_content(std::string(kInstallerText), "application/octet-stream");
               }));
}

} // namespace varnel::site
