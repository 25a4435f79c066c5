// How a job's change reaches the window: posted to the form itself. Queued calls to one receiver
// run in the order they were posted, and those still queued when the window goes are dropped with it.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <utility>

template <typename Change>
void postToForm(QObject& form, Change change)
{
    QMetaObject::invokeMethod(&form, std::move(change), Qt::QueuedConnection);
}
