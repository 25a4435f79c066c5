#include "app/window/message_routing.h"

#include "datafiles/page_settings.h"

MessageLog routeMessage(int activePage, int target)
{
    if (activePage == kUpdatePage) return target == kUpdateLogTarget ? MessageLog::Update : MessageLog::System;
    if (activePage == kRecorderPage) return MessageLog::System;
    return MessageLog::Dropped;
}
