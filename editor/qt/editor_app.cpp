#include "editor/qt/editor_app.h"

#include <QApplication>
#include <QTimer>

#include "editor/command_line.h"
#include "editor/qt/editor_dialog.h"
#include "faces/face_fit.h"
#include "glide/platform.h"

CEditorApp theApp;

void ProcessPendingQtEvents() {
  QCoreApplication::processEvents();
}

int CEditorApp::Run(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("ORVANTE");
  QApplication::setApplicationVersion("1.0.0.1");
  // What Qt left of the command line (it takes its own options, such as -style).
  m_startProject = EditorStartProject(argc, argv);
  const platform::MessageHandler previous =
      platform::setMessageHandler(&CEditorDlg::ShowMessageBox);
  setHostEventHook(&ProcessPendingQtEvents);
  registerFaceFit();  // for photographs added with the face fit
  InitInstance();
  setHostEventHook(nullptr);
  platform::setMessageHandler(previous);
  return 0;
}

bool CEditorApp::InitInstance() {
  CEditorDlg dialog;
  m_pMainWnd = &dialog;
  if (!m_startProject.empty()) {
    // Once the dialog is on screen, so that a refusal shows over it; a file that cannot be
    // read leaves the project empty.
    QTimer::singleShot(0, &dialog, [&dialog, this] { dialog.LoadProjectFile(m_startProject); });
  }
  dialog.exec();  // ends only once unsaved changes were saved or discarded
  m_pMainWnd = nullptr;
  return false;
}
