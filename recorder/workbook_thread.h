// Runs the recorder's workbook calls on a thread of their own, one after another in the order they
// were posted, so that a long save never holds the window. Every automation object is made, used
// and released on this one thread: a registered spreadsheet program's objects belong to the thread
// that made them.
#pragma once

#include <QObject>

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <string>

class WorkbookThread {
public:
    using Calls = std::function<void()>;
    // failure is empty when the calls returned, else what they threw.
    using Done = std::function<void(std::exception_ptr failure)>;

    // atEnd runs on the thread after everything posted, as the thread ends; exitWait bounds how long
    // the destructor waits for that.
    WorkbookThread(Calls atEnd, std::chrono::milliseconds exitWait);
    WorkbookThread(const WorkbookThread&) = delete;
    WorkbookThread& operator=(const WorkbookThread&) = delete;
    // Waits until what was posted and atEnd have run, at most exitWait. Past that the thread is left
    // to the process (a spreadsheet program that no longer answers) and reports nothing more.
    ~WorkbookThread();

    // Queues calls and returns at once. done then runs on receiver's thread, from its event loop,
    // unless receiver is gone by then; receiver must outlive this object.
    void post(Calls calls, QObject* receiver, Done done);

    // Notes the calls make about the spreadsheet program (recorder's spreadsheet_notes.h) go to
    // show, run on receiver's thread from its event loop; before this, and once the owner has
    // stopped waiting, they are dropped. receiver must outlive this object.
    using ShowNote = std::function<void(const std::string& note)>;
    void showNotes(QObject* receiver, ShowNote show);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::chrono::milliseconds exitWait_;
};
