// Context help: the page of a control opened in `lumeray-help`, the module's small HTML viewer,
// run as a separate process.
//
// Pages are HTML files in the "help" folder of the product's common data folder
// (<share>/VantrelSoftware/Lumeray Pro 2/help; the build tree has its own copy). The viewer is
// $LUMERAY_HELP_VIEWER, else "lumeray-help" in a "bin" folder beside an ancestor of the module's
// folder (or in the module's own folder), else "lumeray-help" on the PATH.
//
// At most one viewer started by the module runs at a time: it listens on a local socket named
// after the user and the module's process, and a later request sends it the new page instead of
// starting another one. A request made while a started viewer is still coming up waits for it
// (at most a few seconds) rather than starting a second.
//
// Threading contract: UI thread only (the viewer record has its own lock for the clean-up).
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace lumeray {

struct HelpTopic {
  uint32_t control;   // a control identifier, or a menu command
  const char* topic;  // the page's file name
};

// The table of controls and their pages, searched in order.
std::span<const HelpTopic> HelpTopicTable();
// The page of a control, null when it has none.
const char* HelpTopicFor(uint32_t control);

// The folder of the help pages and the viewer program ("" when none is found).
std::string HelpFolder();
std::string HelpViewerProgram();
// The local socket name of this process's viewer.
std::string HelpViewerServerName();

// Opens the control's page (the start page "index.html" for a control without one). False when
// the page or the viewer cannot be had (reported).
bool DisplayHTMLControlHelp(uint32_t control);
// Shows `page` (a file path) in the viewer, reusing the one this module started.
bool DisplayHelpInViewer(const std::string& page);
// Asks the module's viewer to quit (the module's clean-up; tests).
void CloseHelpViewer();

}  // namespace lumeray
