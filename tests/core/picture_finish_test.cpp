// Pictures finished by the caller of a nested analysis: which pictures a
// CAnalysisRun::PictureFinish scope touches, in which order nested scopes
// run, and that the picture is handed on only after them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>

#include "core/analysis_run.h"

TEST(PictureFinish, TouchesThePicturesOfItsLifeBeforeTheyAreHandedOn)
{
    AnalysisOptions options;
    options.keepPixels = false;
    // What each picture's finishing left: the scopes that ran, in order, and
    // its first byte as it was handed on.
    std::map<std::string, std::string> finished;
    std::map<std::string, int> handed;
    options.takePicture = [&](size_t, ResultPicture& picture) {
        handed[picture.label] = picture.image.Pixels() ? picture.image.Pixels()[0] : -1;
    };
    AnalysisResult result;
    CAnalysisRun run(options, AnalysisMode::Detailed, result);
    auto add = [&](const char* label) {
        const size_t index = run.AddPicture("file", 1, 1, label);
        run.PreparePicture(16, 15, 16, 15);
        return index;
    };
    auto scope = [&](char name) {
        return [&finished, name](ResultPicture& picture) {
            finished[picture.label] += name;
            if (picture.image.Pixels())
                picture.image.Pixels()[0] = static_cast<uint8_t>(picture.image.Pixels()[0] + name);
        };
    };

    const size_t before = add("before");
    size_t late = 0;
    {
        const CAnalysisRun::PictureFinish outer(run, scope('o'));
        const size_t a = add("a");
        {
            const CAnalysisRun::PictureFinish inner(run, scope('i'));
            const size_t b = add("b");
            // Decoders finish pictures on threads of their own.
            std::thread([&] { run.PictureDone(b); }).join();
        }
        run.PictureDone(a);
        run.PictureDone(before);
        late = add("late");
    }
    run.PictureDone(late);
    run.PictureDone(late);

    const std::map<std::string, std::string> wantFinished = {{"a", "o"}, {"b", "io"}};
    EXPECT_EQ(finished, wantFinished);
    const std::map<std::string, int> wantHanded = {{"before", 0}, {"a", 'o'}, {"b", 'i' + 'o'}, {"late", 0}};
    EXPECT_EQ(handed, wantHanded);
    for (const ResultPicture& picture : result.pictures) {
        EXPECT_TRUE(picture.done) << picture.label;
        EXPECT_EQ(picture.image.Pixels(), nullptr) << picture.label;
    }
}
