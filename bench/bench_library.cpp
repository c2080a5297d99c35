// SPDX-License-Identifier: GPL-3.0-or-later
// The phrase listing (directory read, filter, case-insensitive sort) plus the column split on a
// directory of 10,000 WAV names, against a plain QDir read of the same names with a
// case-folded sort. The ratio of the two times is the listing's overhead.
#include "library/FollowDirectory.h"
#include "library/PhraseLibrary.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

// One directory of 10,000 phrase names for the whole run: sets of three, some upper-case
// extensions, a few files that are not phrases.
const QString& phraseDirectory()
{
    static std::unique_ptr<QTemporaryDir> dir = [] {
        auto d = std::make_unique<QTemporaryDir>();
        for (int i = 0; i < 10000; ++i) {
            const QString name = QStringLiteral("%1Phrase%2_%3.%4")
                                     .arg(i % 2 ? QStringLiteral("a") : QStringLiteral("B"))
                                     .arg(9999 - i, 4, 10, QLatin1Char('0'))
                                     .arg(i % 3 + 1)
                                     .arg(i % 10 ? QStringLiteral("wav") : QStringLiteral("WAV"));
            QFile f(d->filePath(name));
            if (f.open(QIODevice::WriteOnly))
                f.write("RIFF");
        }
        for (int i = 0; i < 50; ++i) {
            QFile f(d->filePath(QStringLiteral("notes%1.txt").arg(i)));
            if (f.open(QIODevice::WriteOnly))
                f.write("x");
        }
        return d;
    }();
    static const QString path = dir->path() + QLatin1Char('/');
    return path;
}

void BM_PhraseListingAndColumns(benchmark::State& state)
{
    const QString dir = phraseDirectory();
    for (auto _ : state) {
        Library::PhraseDirectory listing;
        listing.setPath(dir);
        auto columns = Library::SplitIntoColumns(listing.names(), 0);
        benchmark::DoNotOptimize(columns);
    }
}
BENCHMARK(BM_PhraseListingAndColumns)->Unit(benchmark::kMillisecond);

void BM_PlainQDirReadAndFoldedSort(benchmark::State& state)
{
    const QString dir = phraseDirectory();
    for (auto _ : state) {
        QStringList names = QDir(dir).entryList(
            { QStringLiteral("*.wav") }, QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
        std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        benchmark::DoNotOptimize(names);
    }
}
BENCHMARK(BM_PlainQDirReadAndFoldedSort)->Unit(benchmark::kMillisecond);

// The quiet update after the directory changed: the listing, the column split and each list's
// selection found again by name (one near the end of each list, where the search is longest).
void BM_QuietUpdateKeepingSelections(benchmark::State& state)
{
    const QString dir = phraseDirectory();
    const std::array<QString, 3> selected { QStringLiteral("aPhrase0001_1"),
        QStringLiteral("BPhrase0000_2"), QStringLiteral("gone_3") };
    for (auto _ : state) {
        Library::PhraseDirectory listing;
        listing.setPath(dir);
        auto followed = Library::FollowDirectory(listing.names(), 0, selected);
        benchmark::DoNotOptimize(followed);
    }
}
BENCHMARK(BM_QuietUpdateKeepingSelections)->Unit(benchmark::kMillisecond);

} // namespace
