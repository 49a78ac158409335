// DialogBoxParamA: the modal dialog from a template in the executable.
#include "platform/linux/resources/resources.h"
#include "platform/linux/ui/dialog.h"
#include "platform/linux/ui/display.h"

// Returns EndDialog's value, or -1 when there is no display, no such
// template, or a control class that does not exist. The instance and the
// owner are not used: the templates are the executable's own, and the
// dialog has no owner window.
extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND, DLGPROC procedure,
                                          LPARAM initParam) {
  if (!IS_INTRESOURCE(templateName)) return -1;
  int id = int(reinterpret_cast<uintptr_t>(templateName));
  auto dialogTemplate = resources::LoadDialog(resources::EmbeddedRes(), id);
  if (!dialogTemplate) return -1;
  if (!ui::OpenDisplay()) return -1;
  std::unique_ptr<ui::Dialog> dialog = ui::Dialog::Create(*dialogTemplate, procedure);
  if (!dialog) return -1;
  return dialog->Run(initParam);
}
