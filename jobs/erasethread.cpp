#include "erasethread.h"

#include "boot_board.h"

#include "bootloader/zerlin.h"

void RunEraseJob(const DeviceJobInput& input, ControllerRequests& requests, EngineeringPage& page,
                 std::atomic<bool>& busy) {
    if (input.chipType == "47J53") {
        if (handBoardToLibrary(input.vidPid, page)) {
            page.log("Start to erase device .... ");
            page.log(M47J53_EraseFlashData() != 0 ? "Erase image device OK .... " : "Erase image device fail .... ");
        }
    } else {
        page.log("Start to erase image flash .... ");
        const bool erased = requests.Erase_Flash_ImgData() == AckResult::Acknowledged;
        page.log(erased ? "Erase image flash OK .... " : "Erase image flash fail .... ");
    }
    page.enableEraseButton();
    busy = false;
}

EraseThread::EraseThread(DeviceJobInput input, ControllerLink& link, std::unique_ptr<EngineeringPage> page)
    : JobThread("EraseThread"),
      input_(std::move(input)),
      page_(std::move(page)),
      link_(link, [page = page_.get()](const std::string& line) { page->log(line); }, {}) {}

void EraseThread::run() { RunEraseJob(input_, link_.requests(), *page_, jobBusy); }
