// How fast a chain of converters drains a batch whose search is complete, with a conversion
// that does nothing: the cost of the scheduling itself (NextNode, the notifications, the chain).
//
//   scheduler_bench [nodes] [converters] [rounds]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "conversion/hvConvertor.h"
#include "discovery/hvBatch.h"
#include "project/hvProject.h"

namespace {

class TrivialConvertor : public ThvConvertor {
public:
    using ThvConvertor::ThvConvertor;
    static std::shared_ptr<ThvConvertor> Create(ThvBatch& batch, int32_t count,
                                                const ThvNodeEvent& onFileDone) {
        return std::make_shared<TrivialConvertor>(batch, count, onFileDone);
    }

protected:
    void ConvertFile(ThvBatch&, ThvNode& node) override { node.State = ThvNode::Success; }
};

const ThvConvertorClass kTrivialClass{"TrivialConvertor", &TrivialConvertor::Create};

}  // namespace

int main(int argc, char** argv) {
    const int nodes = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int converters = argc > 2 ? std::atoi(argv[2]) : 8;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;

    ThvProject project("/nonexistent/quillon");
    project.ConverterClass = &kTrivialClass;
    project.Options.SetValue("ThreadsCount", std::to_string(converters));
    hvProject = &project;

    std::vector<double> rates;
    for (int round = 0; round < rounds; ++round) {
        ThvBatch batch;
        for (int i = 0; i < nodes; ++i) batch.AddFile("/in/deck" + std::to_string(i) + ".pptx");

        const auto start = std::chrono::steady_clock::now();
        auto head = ThvConvertor::CreateChain(batch, "/out/", [](ThvBatch&, ThvNode&) {});
        RunningCount = head->ConverterCount;
        head->Start();
        while (RunningCount > 0) std::this_thread::yield();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rates.push_back(nodes / seconds);
        head.reset();
    }
    std::sort(rates.begin(), rates.end());
    std::printf("%d nodes, %d converters: median %.0f nodes/s (min %.0f, max %.0f) over %d rounds\n",
                nodes, converters, rates[rates.size() / 2], rates.front(), rates.back(), rounds);
    hvProject = nullptr;
}
