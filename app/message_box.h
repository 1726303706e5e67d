#pragma once
// A message box as the desktop program asks for it: its text and caption,
// the window it stands over and its buttons. Every box goes through
// CVantrelApp::MessageBox, so that tests can answer it.
#include <string>

enum class MessageOwner {
    None,          // no owner window, the platform's default caption
    Application,   // an application message box
    MainFrame,
    RoughList,     // the rough-analysis list control
    TreeBar,       // the analysis-tree bar
    TreeBarTree,   // the analysis-tree bar's tree control
};

enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

struct MessageBoxRequest {
    std::string text;
    std::string caption;   // empty: the platform's default caption
    MessageOwner owner = MessageOwner::None;
    MessageButtons buttons = MessageButtons::Ok;
};
