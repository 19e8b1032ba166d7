// Saves the history of the site named on the command line over and over,
// alternating two contents (the second first), until it is killed. Says "saving" once the first
// save is done, so the killer knows the loop is running.

#include "HistoryCrashPayloads.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: history_saver_child <website directory>\n", stderr);
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const kestrion::ChatHistoryPersistence::FilePayload payloads[] = {kestrion::test::crashPayload(0),
                                                                      kestrion::test::crashPayload(1)};
    for (unsigned long long round = 0;; ++round) {
        kestrion::ChatHistoryPersistence::save(payloads[(round + 1) % 2], root);
        if (round == 0) {
            std::fputs("saving\n", stdout);
            std::fflush(stdout);
        }
    }
}
