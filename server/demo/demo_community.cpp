#include "demo_community.h"

#include "community_rules.h"

#include <algorithm>
#include <array>
#include <random>

namespace varnel::demo {

namespace {

constexpr Timestamp kMinute = 60;
constexpr Timestamp kHour = 60 * kMinute;
constexpr Timestamp kDay = 24 * kHour;

struct Person {
    const char *userName;
    const char *nickName;
    int face;
    int role;
    int expertZone; // 0 for members who are not star experts
};

// Regular members first: the first one is "the" demo member.
constexpr std::array<Person, 15> kPeople{{
    {"alice", "Alice", 3, RoleMember, 0},
    {"bob", "Bob the Builder", 7, RoleMember, 0},
    {"carol", "Carol", 12, RoleMember, 0},
    {"dave", "Dave", 15, RoleMember, 0},
    {"erin", "Erin", 20, RoleMember, 0},
    {"moderator", "Mo the Moderator", 9, RoleModerator, 0},
    {"admin", "Site Admin", 1, RoleAdministrator, 0},
    {"winguru", "Windows Guru", 2, RoleExpert, 1},
    {"appmaster", "App Master", 4, RoleExpert, 1},
    {"chipwizard", "Chip Wizard", 5, RoleExpert, 2},
    {"gadgetfan", "Gadget Fan", 6, RoleExpert, 2},
    {"questlord", "Quest Lord", 8, RoleExpert, 3},
    {"fragmaster", "Frag Master", 10, RoleExpert, 3},
    {"codesmith", "Code Smith", 11, RoleExpert, 4},
    {"pixelpro", "Pixel Pro", 13, RoleExpert, 4},
}};
constexpr int kAskerCount = 6; // alice .. moderator ask the questions

// More titles than any column has questions: each column takes them in turn
// from its own starting point, so no title repeats within a column.
constexpr std::array<const char *, 48> kTitleTemplates{
    "How do I speed up %s?",
    "%s stops responding after the latest update",
    "Best settings for %s on an older PC",
    "%s shows an error message at start-up",
    "Is there a free alternative in %s?",
    "%s keeps losing my settings",
    "Cannot install %s on a new machine",
    "Which %s would you recommend for a beginner?",
    "%s is very slow over the network",
    "Strange flicker with %s since yesterday",
    "Where does %s keep its log files?",
    "%s: how to move everything to a new disk",
    "%s crashes when I open a large file",
    "Good books or tutorials about %s?",
    "%s worked yesterday, today nothing happens",
    "How to back up everything in %s",
    "%s asks for a licence key I never had",
    "Can I run two versions of %s side by side?",
    "%s uses all my memory after an hour",
    "Sound stops when %s is running",
    "%s: the text looks blurry on my new monitor",
    "Which options of %s can I safely turn off?",
    "%s and my antivirus do not get along",
    "Keyboard shortcuts for %s stopped working",
    "%s cannot find my printer any more",
    "How do I reset %s to its defaults?",
    "%s is in the wrong language after reinstalling",
    "Error 0x80070005 in %s",
    "%s takes five minutes to start",
    "Is %s worth upgrading this year?",
    "%s: the window opens off screen",
    "Sharing %s settings between two computers?",
    "%s freezes when the laptop wakes from sleep",
    "Old files will not open in %s",
    "%s shows the wrong date and time",
    "How to uninstall %s completely",
    "%s says the disk is full but it is not",
    "The fans get loud whenever I use %s",
    "%s on a computer without internet access",
    "Where to report a bug in %s?",
    "%s gives different results on two machines",
    "A safe way to update %s without losing data",
    "%s: a second user account sees nothing",
    "Tips for %s on a small screen",
    "%s closes without a word after a minute",
    "How much disk space does %s really need?",
    "%s is blocked by the firewall at work",
    "Experiences with %s on a 64-bit system?",
};

constexpr std::array<const char *, 6> kAnswerTemplates{
    "Try removing the old configuration first, then start again with the defaults.\nThat fixed it for me.",
    "This is a known problem. Install the latest update and reboot twice.",
    "Check the log for the first error; the rest follow from it. Post it here if unsure.",
    "Back up your data, then reinstall. It takes ten minutes and saves hours of guessing.",
    "Look at the permissions of the folder it writes to: it needs write access there.",
    "I had the same issue \xe2\x80\x94 turning off the compatibility option solved it.",
};

std::string fill(const char *pattern, const std::string &subject)
{
    std::string out = pattern;
    const auto at = out.find("%s");
    if (at != std::string::npos)
        out.replace(at, 2, subject);
    return out;
}

std::string zoneColour(int zone)
{
    static const char *colours[] = {"1f5fbf", "2e8b57", "c06000", "8b1fa0"};
    return colours[(zone - 1) % 4];
}

} // namespace

std::vector<DemoAccount> seedDemoCommunity(CommunityStore &store, const std::function<void(Timestamp)> &setNow,
                                           Timestamp now, const std::string &siteUrl)
{
    std::mt19937 rng(2007);
    auto pick = [&rng](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    Timestamp t = now - 60 * kDay;
    setNow(t);
    auto advance = [&](Timestamp seconds) {
        t = std::min(t + seconds, now);
        setNow(t);
    };

    std::vector<DemoAccount> accounts;
    std::vector<int> ids;
    for (const Person &p : kPeople) {
        NewMember m;
        m.userName = p.userName;
        m.password = std::string(p.userName) + "123";
        m.nickName = p.nickName;
        m.email = std::string(p.userName) + "@demo.example";
        m.face = p.face;
        m.sex = pick(2);
        m.realName = p.nickName;
        m.userGuid = "demo-" + std::string(p.userName);
        const auto id = store.createMember(m);
        if (!id)
            return accounts; // not an empty store: leave it alone
        ids.push_back(*id);
        store.setRole(*id, p.role);
        std::string description = "member";
        if (p.role == RoleAdministrator)
            description = "administrator";
        else if (p.role == RoleModerator)
            description = "moderator";
        else if (p.expertZone)
            description = "star expert (" + zoneName(p.expertZone) + ")";
        if (p.expertZone)
            store.setAlwaysOnline(*id, true);
        accounts.push_back({m.userName, m.password, description});
        advance(kHour);
    }
    // The askers bought points to spend on rewards.
    for (int i = 0; i < kAskerCount; ++i)
        store.adjustPoints(ids[i], 6000);

    auto expertsOf = [&](int zone) {
        std::vector<int> experts;
        for (size_t i = 0; i < kPeople.size(); ++i) {
            if (kPeople[i].expertZone == zone)
                experts.push_back(ids[i]);
        }
        return experts;
    };

    // One question with its answers; closed at once when `close`. The draws
    // that once chose the texts at random are still made, so that points,
    // answerers and dates come out as they always have.
    std::array<int, kColumnCount + 1> askedIn{};
    auto ask = [&](int askerIndex, int column, int answers, bool close) -> int {
        const int zone = zoneOfColumn(column);
        (void)pick(kTitleTemplates.size());
        const int n = askedIn[static_cast<size_t>(column)]++;
        const std::string title = fill(
            kTitleTemplates[static_cast<size_t>((column * 7 + n) % int(kTitleTemplates.size()))], columnName(column));
        const int points = 40 + 10 * pick(9);
        const std::string text = "I use " + columnName(column) + " every day.\n" + title +
                                 "\nI already restarted and searched the help pages. Any advice is welcome!";
        const PostResult posted =
            store.createQuestion(ids[static_cast<size_t>(askerIndex)], title, column, points, text);
        if (posted.status != PostResult::Ok)
            return 0;
        std::vector<int> answerIds;
        const std::vector<int> experts = expertsOf(zone);
        int firstExpert = 0;
        int firstAnswer = 0;
        for (int a = 0; a < answers; ++a) {
            advance(10 * kMinute + pick(50) * kMinute);
            // Both star experts answer first, one each; members chime in
            // afterwards. Every answer under a question is another text.
            int answerer = 0;
            if (a < 2) {
                const int drawn = pick(2);
                if (a == 0)
                    firstExpert = drawn;
                answerer = experts[static_cast<size_t>((a + firstExpert) % 2)];
            } else {
                answerer = ids[static_cast<size_t>(pick(kAskerCount))];
            }
            if (answerer == ids[static_cast<size_t>(askerIndex)])
                answerer = ids[static_cast<size_t>((askerIndex + 1) % kAskerCount)];
            const int drawn = pick(kAnswerTemplates.size());
            if (a == 0)
                firstAnswer = drawn;
            const ReplyResult reply = store.createAnswer(
                posted.id, answerer, column,
                kAnswerTemplates[static_cast<size_t>((firstAnswer + a) % int(kAnswerTemplates.size()))]);
            if (reply.status == ReplyResult::Ok)
                answerIds.push_back(reply.id);
        }
        if (close) {
            advance(kHour + pick(3) * kHour);
            std::vector<std::pair<int, int>> shares;
            if (!answerIds.empty()) {
                const int others = static_cast<int>(answerIds.size()) - 1;
                shares.emplace_back(answerIds[0], points - 10 * others);
                for (size_t i = 1; i < answerIds.size(); ++i)
                    shares.emplace_back(answerIds[i], 10);
            }
            store.closeQuestion(posted.id, ids[static_cast<size_t>(askerIndex)], shares);
        }
        return posted.id;
    };

    // The community's history: every question answered and closed.
    int asker = 0;
    for (int round = 0; round < kMinQuestionsInBusyColumn; ++round) {
        for (int column = 1; column <= kColumnCount; ++column) {
            const bool busy =
                std::find(std::begin(kBusyColumns), std::end(kBusyColumns), column) != std::end(kBusyColumns);
            // Two more per column follow among the recent, open questions.
            const int wanted = busy ? kMinQuestionsInBusyColumn - 2 : kMinQuestionsInOtherColumn - 2;
            if (round >= wanted)
                continue;
            ask(asker, column, 1 + pick(3), true);
            asker = (asker + 1) % kAskerCount;
            advance(20 * kMinute + pick(40) * kMinute);
        }
    }

    // Questions left open for weeks: overdue for bob, alice and carol.
    t = std::max(t, now - 19 * kDay);
    setNow(t);
    ask(1, 2, 2, false);
    advance(kDay);
    ask(0, 22, 1, false);
    advance(kDay);
    ask(2, 35, 2, false);

    // Recent, still open questions: two in every column, the busy ones too.
    t = std::max(t, now - 5 * kDay);
    setNow(t);
    const Timestamp step = (now - t - kHour) / (2 * kColumnCount + 4);
    for (int column = 1; column <= kColumnCount; ++column) {
        for (int k = 0; k < 2; ++k) {
            int who = 3 + (column + k) % 3; // dave, erin, moderator: never blocked by an overdue question
            ask(who, column, pick(3), false);
            advance(step);
        }
    }
    // Alice's own open questions with answers, ready to be closed on the site.
    const int featured = ask(0, 1, 2, false);
    advance(step);
    ask(0, 4, 3, false);
    advance(step);

    // Announcements: every kind in every zone.
    const int moderator = ids[5];
    for (int zone = 1; zone <= kZoneCount; ++zone) {
        const std::string name = zoneName(zone);
        store.addAnnouncement(zone, 0,
                              "{b}Welcome{/b} to the {font color=#" + zoneColour(zone) + "}" + name +
                                  "{/font} zone!{br}Please read the {i}rules{/i} before asking.",
                              "", moderator,
                              "Be polite, give your question a clear title, and close it when you are helped.");
        store.addAnnouncement(zone, 1, "{b}News:{/b} our star experts of " + name + " are online {u}every day{/u}", "",
                              moderator, "Ask them anything about " + name + ".");
        store.addAnnouncement(zone, 2, "Read the {i}Help{/i} pages: points, credit and ranks explained",
                              siteUrl + "/Quillora/Help.htm", moderator);
        const QuestionPage recent = store.questionsInColumn(firstColumnOfZone(zone), Page{1, 1});
        const int target = zone == 1 && featured ? featured : (recent.rows.empty() ? 0 : recent.rows[0].id);
        if (target)
            store.addAnnouncement(zone, 3, "{font color=#c00000}Featured question:{/font} can {b}you{/b} help?",
                                  std::to_string(target), moderator);
        advance(10 * kMinute);
    }

    // Messages waiting for the first member, and a couple for bob.
    for (int m = 0; m < kMessagesForFirstMember; ++m) {
        const int from = ids[static_cast<size_t>(7 + m % 8)];
        store.sendMessage(from, ids[0],
                          "Hello Alice, message " + std::to_string(m + 1) + " of " +
                              std::to_string(kMessagesForFirstMember) + ": did my answer help?");
        advance(5 * kMinute);
    }
    store.sendMessage(ids[0], ids[1], "Hi Bob, please close your old question when you can.");
    store.sendMessage(ids[7], ids[1], "Your Linux question is overdue; have a look at my answer.");

    setNow(now);
    return accounts;
}

} // namespace varnel::demo
