#include "editor/qt/editor_app.h"

#include <QApplication>

#include "editor/qt/editor_dialog.h"
#include "glide/platform.h"

CEditorApp theApp;

void ProcessPendingQtEvents() {
  QCoreApplication::processEvents();
}

int CEditorApp::Run(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("ORVANTE");
  QApplication::setApplicationVersion("1.0.0.1");
  const platform::MessageHandler previous =
      platform::setMessageHandler(&CEditorDlg::ShowMessageBox);
  setHostEventHook(&ProcessPendingQtEvents);
  InitInstance();
  setHostEventHook(nullptr);
  platform::setMessageHandler(previous);
  return 0;
}

bool CEditorApp::InitInstance() {
  CEditorDlg dialog;
  m_pMainWnd = &dialog;
  dialog.exec();  // Exit, Enter, Escape and the close box all just end it
  m_pMainWnd = nullptr;
  return false;
}
