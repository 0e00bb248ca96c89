// The application object: starts Qt, routes message boxes and the preview's event processing
// through it, and runs the main dialog until Exit, Escape or the close box.
#pragma once

class CEditorDlg;

class CEditorApp {
 public:
  // Runs the editor; the result is the process's exit code.
  int Run(int argc, char** argv);
  // Runs the main dialog modally. False: the application ends when the dialog does.
  bool InitInstance();

  CEditorDlg* m_pMainWnd = nullptr;
};

extern CEditorApp theApp;

// The host hook of the display window's key poll: lets Qt handle what is pending, so that the
// dialog stays alive underneath a preview.
void ProcessPendingQtEvents();
