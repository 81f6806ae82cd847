// The main frame's command set: captions, menus, prompts, tooltips, toolbar
// order and the site pages some commands open. The window builds its menu
// bar, toolbar and tray menu from this table.
#pragma once

#include <QString>
#include <QStringView>

#include <span>

namespace quillora::presence {

enum class FrameCommand : int {
    SaveQuestion,
    SaveMessage,
    PrintQuestion,
    PrintPreview,
    Exit,
    AskQuestion,
    AnswerQuestion,
    CloseQuestions,
    BuyPoints,
    SearchQuestions,
    Communication,
    MyQuestions,
    MySolutions,
    ScoredAnswers,
    Announcements,
    ToolBar,
    StatusBar,
    ViewMyProfile,
    EditMyAccount,
    ConnectionSettings,
    Refresh,
    SendToFriend,
    ModeratorsEntry,
    Home,
    Help,
    About,
    Download,
    Feedback,
    // The message board itself (the last item of the Message menu): on a
    // desktop without a tray area nothing else shows it.
    MessageBoard,
};
inline constexpr int kFrameCommandCount = static_cast<int>(FrameCommand::MessageBoard) + 1;

enum class FrameMenu : int { File, Edit, Message, View, Options, Tools, Help };
inline constexpr int kFrameMenuCount = 7;

struct CommandInfo {
    FrameCommand command;
    FrameMenu menu;
    const char16_t *caption;  // menu caption, exactly as shown (may carry "\t" and "(&X)")
    const char16_t *prompt;   // status-bar prompt and tooltip, "prompt\ntooltip"; may be empty
    const char16_t *iconName; // image name in the resources; empty when the command has none
    bool separatorBefore;     // a menu separator above this item
};

// Every command, in menu order within each menu.
std::span<const CommandInfo> frameCommands();
const CommandInfo &commandInfo(FrameCommand command);

// "File(&F)", "Edit(&E)", ...
QString menuCaption(FrameMenu menu);

// The status-bar prompt (first part of the prompt text) and the tooltip
// (second part; when the command has none, its caption without the
// accelerator hint and mnemonic).
QString commandStatusTip(FrameCommand command);
QString commandToolTip(FrameCommand command);

// The "Standard" toolbar: commands in order, FrameCommand::Exit standing for a separator.
std::span<const FrameCommand> toolbarLayout();
inline constexpr FrameCommand kToolbarSeparator = FrameCommand::Exit;

// The tray menu: "Search Solutions" (the Search Questions command), "Communication", "Exit".
struct TrayMenuItem {
    FrameCommand command;
    const char16_t *caption;
};
std::span<const TrayMenuItem> trayMenu();

// The site page a command opens in the system browser; empty for others.
QString sitePagePath(FrameCommand command);

// What "Ask Question" and "Answer Question" say, run from the main frame or
// from a zone view's own buttons alike.
QString noColumnToAskInMessage();    // "Please select a zone area before posting question !"
QString overdueQuestionsMessage();   // "You need to click 'Close Questions' button ..."
QString questionPostedMessage();     // "The question has been successfully posted!"
QString noQuestionToAnswerMessage(); // "You need to select a question before posting solution !"
QString solutionPostedMessage();     // "The solution has been successfully posted!"
// "Error: No question selected!", from "Send to Friend", printing and saving.
QString noQuestionSelectedMessage();

} // namespace quillora::presence
