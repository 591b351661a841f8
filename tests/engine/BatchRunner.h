// Runs the repair and save batches the way a front end does: the command step on the
// calling thread, the worker on a thread of its own.
#pragma once

#include <atomic>
#include <thread>

#include "engine/RepairBatch.h"
#include "engine/SaveBatch.h"
#include "engine/WorkView.h"

namespace tavrin::test {

struct BatchRunner {
    std::atomic<int> running{0};
    BatchReport report;
    ThreadContext context;

    explicit BatchRunner(WorkView& view) : context{&view, &running, &report, &view} {}

    void Repair()
    {
        StartRepair(context);
        std::thread(RepairThreadProc, std::ref(context)).join();
    }

    int Save()
    {
        int result = -1;
        if (StartSave(context))
            std::thread([this, &result] { result = SaveThreadProc(context); }).join();
        return result;
    }
};

} // namespace tavrin::test
