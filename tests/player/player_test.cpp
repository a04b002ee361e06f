// The DirectShow player on real recordings under the platform's own graph building.
#include "tests/player/player_test_support.h"

using qdtest::Boxes;
using qdtest::Fixture;
using qdtest::PositionSeconds;
using qdtest::PumpFor;

namespace {

qdtest::PlayerTestApp g_app;

class Player : public ::testing::Test {
protected:
    void SetUp() override { Boxes().clear(); }
    CDShowMediaPlayer player;
};

// How many references the graph has besides the one we hold.
ULONG OtherReferences(IUnknown* object) {
    object->AddRef();
    return object->Release() - 1;
}

TEST_F(Player, WaveDurationIsExactAndNothingPlaysAfterOpen) {
    ASSERT_EQ(player.Open(Fixture("tone440.wav").c_str()), 1);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_NEAR(player.m_llDuration, 100000000LL, 10000) << "10 s within 1 ms";
    ASSERT_TRUE(player.m_pControl && player.m_pSeeking && player.m_pAudio && player.m_pEvent);
    OAFilterState state = -1;
    player.m_pControl->GetState(100, &state);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(PositionSeconds(player), 0.0);
    EXPECT_EQ(player.m_strFile, Fixture("tone440.wav"));
    EXPECT_EQ(player.m_pwszFile, nullptr) << "the wide name lives only during Open";
}

TEST_F(Player, Mp3AndAccentedNamesOpen) {
    ASSERT_EQ(player.Open(Fixture("tone440.mp3").c_str()), 1);
    EXPECT_NEAR(player.m_llDuration / 1e7, 10.0, 0.1);
    ASSERT_EQ(player.Open(Fixture("entretien_été.wav").c_str()), 1);
    EXPECT_NEAR(player.m_llDuration, 100000000LL, 10000);
    EXPECT_TRUE(Boxes().empty()) << (Boxes().empty() ? "" : Boxes().front());
}

TEST_F(Player, RunAdvancesAtThePlaybackRatePauseHoldsStopRewinds) {
    EXPECT_EQ(player.Stop(), 0) << "no file: nothing to stop";
    ASSERT_EQ(player.Open(Fixture("tone440.wav").c_str()), 1);
    player.m_pControl->Run();
    PumpFor(300);
    double t0 = PositionSeconds(player);
    DWORD start = ::GetTickCount();
    PumpFor(1000);
    double t1 = PositionSeconds(player);
    double elapsed = (::GetTickCount() - start) / 1000.0;
    EXPECT_NEAR(t1 - t0, elapsed, 0.15) << "position must follow the clock";

    player.m_pControl->Pause();
    PumpFor(200);
    double held = PositionSeconds(player);
    PumpFor(700);
    EXPECT_NEAR(PositionSeconds(player), held, 0.02);
    EXPECT_GT(held, 1.0);

    player.m_bPlaying = TRUE;
    EXPECT_EQ(player.Stop(), 1);
    EXPECT_FALSE(player.m_bPlaying);
    EXPECT_EQ(PositionSeconds(player), 0.0);
    OAFilterState state = -1;
    player.m_pControl->GetState(100, &state);
    EXPECT_EQ(state, State_Stopped);
}

TEST_F(Player, CloseReleasesEverythingAndTwiceIsHarmless) {
    ASSERT_EQ(player.Open(Fixture("tone440.wav").c_str()), 1);
    IGraphBuilder* graph = player.m_pGraph.Get();
    graph->AddRef();
    player.Close();
    EXPECT_FALSE(player.m_pGraph || player.m_pEvent || player.m_pSeeking || player.m_pAudio ||
                 player.m_pControl);
    EXPECT_EQ(graph->Release(), 0u) << "the player still held references";
    player.Close();
    EXPECT_EQ(player.Stop(), 0);
}

TEST_F(Player, OpeningASecondFileReleasesTheFirstEvenWhilePlaying) {
    ASSERT_EQ(player.Open(Fixture("tone440.wav").c_str()), 1);
    player.m_pControl->Run();
    PumpFor(200);
    IGraphBuilder* first = player.m_pGraph.Get();
    first->AddRef();
    ASSERT_EQ(player.Open(Fixture("tone880.wav").c_str()), 1);
    EXPECT_NE(player.m_pGraph.Get(), first);
    EXPECT_EQ(OtherReferences(first), 0u);
    OAFilterState state = -1;
    player.m_pControl->GetState(100, &state);
    EXPECT_EQ(state, State_Stopped) << "the new file waits for Run";
    first->Release();
}

TEST_F(Player, VolumeIsAppliedWhenAFileOpens) {
    player.m_lVolume = -4000;
    ASSERT_EQ(player.Open(Fixture("tone440.wav").c_str()), 1);
    long volume = 0;
    ASSERT_TRUE(player.m_pAudio);
    player.m_pAudio->get_Volume(&volume);
    EXPECT_EQ(volume, -4000);
}

class PlayerBadInput : public ::testing::TestWithParam<const char*> {};

TEST_P(PlayerBadInput, ShowsAClearMessageAndStaysEmpty) {
    Boxes().clear();
    CDShowMediaPlayer player;
    // A good file first: a failure must not keep its duration.
    ASSERT_EQ(player.Open(Fixture("tone440.wav").c_str()), 1);
    ASSERT_GT(player.m_llDuration, 0);
    Boxes().clear();

    std::string name = GetParam();
    std::string path = name.find('\\') == std::string::npos ? Fixture(name.c_str()) : name;
    EXPECT_EQ(player.Open(path.c_str()), 1);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_FALSE(Boxes().front().empty());
    EXPECT_EQ(player.m_llDuration, 0);
    // Nothing can play: the graph holds no filter at all.
    ASSERT_TRUE(player.m_pGraph);
    fw::ComPtr<IEnumFilters> filters;
    ASSERT_EQ(player.m_pGraph->EnumFilters(filters.Put()), S_OK);
    IBaseFilter* filter = nullptr;
    ULONG fetched = 0;
    EXPECT_NE(filters->Next(1, &filter, &fetched), S_OK);
    if (filter)
        filter->Release();
    player.Close();
    EXPECT_FALSE(player.m_pGraph);
}

INSTANTIATE_TEST_SUITE_P(Files, PlayerBadInput,
                         ::testing::Values("texte.mp3", "absent.wav", "dossier.wav",
                                           "Z:\\nulle\\part\\enregistrement.mp3"));

TEST(MediaError, NeverEmptyAndInFrenchWhereTheProgramWritesIt) {
    const HRESULT codes[] = {VFW_E_UNSUPPORTED_STREAM, VFW_E_CANNOT_RENDER, VFW_E_NOT_FOUND,
                             HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                             static_cast<HRESULT>(0x8004FFFF)};
    for (HRESULT hr : codes)
        EXPECT_FALSE(MediaErrorText(hr).empty()) << std::hex << hr;
    EXPECT_EQ(MediaErrorText(static_cast<HRESULT>(0x8004FFFF)), "Erreur de lecture 0x8004FFFF.");
}

} // namespace

int main(int argc, char** argv) {
    return qdtest::RunAllWithCom(argc, argv);
}
