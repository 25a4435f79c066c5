// The packet protocol on a controller link: its two handles carry the reports, its one packet
// buffer holds every request and reply, and its lastIoError keeps the code of the last write or read.
#pragma once

#include "controller_requests.h"
#include "job_busy.h"
#include "usb.h"

class LinkRequests {
public:
    // Polls for acknowledgements only while jobBusy (the process-wide flag) is set.
    LinkRequests(ControllerLink& link, LogSink log, WaitHook wait, RequestTimeouts timeouts = {})
        : channel_(link.writeHandle, link.readHandle),
          requests_(channel_, link.packetBuffer, link.lastIoError, jobBusy, std::move(log), std::move(wait), timeouts) {}
    LinkRequests(const LinkRequests&) = delete;
    LinkRequests& operator=(const LinkRequests&) = delete;

    ControllerRequests& requests() { return requests_; }

private:
    HidHandlePair channel_;
    ControllerRequests requests_;
};
