#include "frame_commands.h"

#include <array>

namespace quillora::presence {

namespace {

using C = FrameCommand;
using M = FrameMenu;

constexpr std::array<CommandInfo, kFrameCommandCount> kCommands{{
    {C::SaveQuestion, M::File, u"Save Question\tCtrl+T(&T)", u"Save the current question and solutions",
     u"save-question", false},
    {C::SaveMessage, M::File, u"Save Message\tCtrl+C(&C)", u"Save chat messages\nSave Message", u"save-message", false},
    {C::PrintQuestion, M::File, u"Print Question\tCtrl+P(&P)", u"", u"print", true},
    {C::PrintPreview, M::File, u"Print Preview\tCtrl+V(&V)", u"", u"print-preview", false},
    {C::Exit, M::File, u"Exit(&X)", u"", u"", true},
    {C::AskQuestion, M::Edit, u"Ask Question(&Q)", u"Ask a new question \nAsk Question", u"ask-question", false},
    {C::AnswerQuestion, M::Edit, u"Answer Question(&A)", u"Post solution to the question\nAnswer Question",
     u"answer-question", false},
    {C::CloseQuestions, M::Edit, u"Close Questions(&C)", u"Awarding points to answers\nClose Questions",
     u"close-questions", true},
    {C::BuyPoints, M::Edit, u"Buy Points(&B)", u"Buy Points with PayPal\nBuy Points", u"buy-points", false},
    {C::SearchQuestions, M::Edit, u"Search Questions(&S)", u"Search to find answers\nSearch Questions", u"search",
     true},
    {C::Communication, M::Edit, u"Communication(&M)", u"Chat with participants\nCommunication", u"communication",
     false},
    {C::MyQuestions, M::Message, u"My Questions(&Q)", u"The questions I've asked\nMy Questions", u"my-questions",
     false},
    {C::MySolutions, M::Message, u"My Solutions(&S)", u"The questions I've answered\nMy Solutions", u"my-solutions",
     false},
    {C::ScoredAnswers, M::Message, u"Scored Answers(&A)", u"The answers that are scored\nScored Answers",
     u"scored-answers", false},
    {C::Announcements, M::Message, u"Announcements(&N)", u"Announcements and high-quality questions\nAnnouncements",
     u"announcements", true},
    {C::ToolBar, M::View, u"ToolBar(&T)", u"", u"", false},
    {C::StatusBar, M::View, u"StatusBar(&S)", u"", u"", false},
    {C::ViewMyProfile, M::Options, u"View My Profile(&V)", u"", u"profile", false},
    {C::EditMyAccount, M::Options, u"Edit My Account(&E)", u"", u"edit-account", false},
    {C::ConnectionSettings, M::Options, u"Connection Settings(&S)", u"", u"connection", true},
    {C::Refresh, M::Tools, u"Refresh(&R)", u"Refresh\nRefresh", u"refresh", false},
    {C::SendToFriend, M::Tools, u"Send to Friend(&S)", u"Send a solution to friend\nSend to Friend", u"send-to-friend",
     false},
    {C::ModeratorsEntry, M::Tools, u"Moderators Entry(&M)", u"", u"moderators", true},
    {C::Home, M::Help, u"Home(&M)", u"Link to home page\nHome", u"home", false},
    {C::Help, M::Help, u"Help(&H)", u"Software help\nHelp", u"help", false},
    {C::About, M::Help, u"About(&A)...", u"", u"", true},
    {C::Download, M::Help, u"Download(&D)", u"Download the latest vesion\nDownload", u"download", true},
    {C::Feedback, M::Help, u"Feedback(&F)", u"", u"feedback", false},
    {C::MessageBoard, M::Message, u"Message Board(&B)", u"Read and write chat messages\nMessage Board",
     u"communication", true},
}};

constexpr std::array<FrameCommand, 22> kToolbar{
    C::SaveQuestion,   C::SaveMessage,    kToolbarSeparator,  C::AskQuestion,   C::AnswerQuestion, kToolbarSeparator,
    C::CloseQuestions, C::BuyPoints,      kToolbarSeparator,  C::MyQuestions,   C::MySolutions,    C::ScoredAnswers,
    C::Announcements,  kToolbarSeparator, C::SearchQuestions, C::Communication, C::Refresh,        kToolbarSeparator,
    C::Home,           C::SendToFriend,   C::Download,        C::Help,
};

constexpr std::array<TrayMenuItem, 3> kTray{{
    {C::SearchQuestions, u"Search Solutions"},
    {C::Communication, u"Communication"},
    {C::Exit, u"Exit"},
}};

QString text(const char16_t *s)
{
    return QString::fromUtf16(s);
}

} // namespace

std::span<const CommandInfo> frameCommands()
{
    return kCommands;
}

const CommandInfo &commandInfo(FrameCommand command)
{
    return kCommands[static_cast<std::size_t>(command)];
}

QString menuCaption(FrameMenu menu)
{
    static constexpr std::array<const char16_t *, kFrameMenuCount> kMenus{
        u"File(&F)", u"Edit(&E)", u"Message(&M)", u"View(&V)", u"Options(&O)", u"Tools(&T)", u"Help(&H)"};
    return text(kMenus[static_cast<std::size_t>(menu)]);
}

QString commandStatusTip(FrameCommand command)
{
    const QString prompt = text(commandInfo(command).prompt);
    const qsizetype nl = prompt.indexOf(QLatin1Char('\n'));
    return nl < 0 ? prompt : prompt.left(nl);
}

QString commandToolTip(FrameCommand command)
{
    const QString prompt = text(commandInfo(command).prompt);
    const qsizetype nl = prompt.indexOf(QLatin1Char('\n'));
    if (nl >= 0)
        return prompt.mid(nl + 1);
    // "Save Question\tCtrl+T(&T)" -> "Save Question"; "About(&A)..." -> "About"
    QString caption = text(commandInfo(command).caption);
    const qsizetype tab = caption.indexOf(QLatin1Char('\t'));
    if (tab >= 0)
        caption.truncate(tab);
    const qsizetype mnemonic = caption.indexOf(QLatin1String("(&"));
    if (mnemonic >= 0)
        caption.truncate(mnemonic);
    caption.remove(QLatin1Char('&'));
    return caption.trimmed();
}

std::span<const FrameCommand> toolbarLayout()
{
    return kToolbar;
}

std::span<const TrayMenuItem> trayMenu()
{
    return kTray;
}

QString sitePagePath(FrameCommand command)
{
    switch (command) {
    case C::BuyPoints:
        return QStringLiteral("/Quillora/GetPoints.htm");
    case C::ModeratorsEntry:
        return QStringLiteral("/Varnel/Web/Admin/login.aspx");
    case C::Home:
        return QStringLiteral("/");
    case C::Help:
        return QStringLiteral("/Quillora/Help.htm");
    case C::Download:
        return QStringLiteral("/Quillora/Download.htm");
    default:
        return QString();
    }
}

QString noColumnToAskInMessage()
{
    return QStringLiteral("Please select a zone area before posting question !");
}

QString overdueQuestionsMessage()
{
    return QStringLiteral("You need to click 'Close Questions' button to close overdue questions before posting new !");
}

QString questionPostedMessage()
{
    return QStringLiteral("The question has been successfully posted!");
}

QString noQuestionToAnswerMessage()
{
    return QStringLiteral("You need to select a question before posting solution !");
}

QString solutionPostedMessage()
{
    return QStringLiteral("The solution has been successfully posted!");
}

QString noQuestionSelectedMessage()
{
    return QStringLiteral("Error: No question selected!");
}

} // namespace quillora::presence
