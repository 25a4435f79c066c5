// The window's side of the device jobs: starting them on their own threads and stopping them when
// the window goes.
#include "form_update_screen.h"
#include "main_form.h"

#include "jobs/updatethread.h"
#include "link/usb.h"

TMainForm::~TMainForm()
{
    // A running job is stopped and waited for before the controls it posts to go.
    updateThread.reset();
}

void TMainForm::launchUpdateThread()
{
    const DeviceModel* model = currentModel >= 0 && static_cast<std::size_t>(currentModel) < DeviceModelTable.size()
                                   ? &DeviceModelTable[static_cast<std::size_t>(currentModel)]
                                   : nullptr;
    UpdateJobInput input{model != nullptr ? model->chipType : std::string(), firmwarePath.toStdString(),
                         imagePath.toStdString(), appFolder.toStdString(), is64BitWindows};
    updateThread.reset();  // the last job has ended: jobBusy was clear
    updateThread = std::make_unique<UpdateThread>(std::move(input), controllerLink(),
                                                  std::make_unique<FormUpdateScreen>(*this), jobWaitHook);
    updateThread->start(QThread::NormalPriority);
}
