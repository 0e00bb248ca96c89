// The application object: starts Qt, routes message boxes and the preview's event processing
// through it, and runs the main dialog until it is closed (Exit, Escape, Enter, the close box,
// Quit), opening the project named on the command line first.
#pragma once

#include <string>

class CEditorDlg;

class CEditorApp {
 public:
  // Runs the editor; the result is the process's exit code.
  int Run(int argc, char** argv);
  // Runs the main dialog modally. False: the application ends when the dialog does.
  bool InitInstance();

  CEditorDlg* m_pMainWnd = nullptr;
  std::string m_startProject;  // opened once the dialog shows; empty for none
};

extern CEditorApp theApp;

// The host hook of the display window's key poll: lets Qt handle what is pending, so that the
// dialog stays alive underneath a preview.
void ProcessPendingQtEvents();
