// The plug-in as the editor uses it: the real KivoMoreFilters.so loaded with dlopen, its one export
// called with two BMP files, the modal dialog driven from a timer (sliders, up-downs, "초기값",
// OK, cancel) and the rewritten file checked against results worked out from the effect rules.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using TBgr = std::array<int, 3>;
using TPicture = std::vector<std::vector<TBgr>>;  // [y][x], top row first

using ExecFn = int (*)(void*, const char*, const char*, int);

// One load of the module, unloaded again at the end of the scope as the editor does per call.
class TPlugin {
public:
    TPlugin() {
        Handle = dlopen(KIVO_MOREFILTERS_MODULE, RTLD_NOW | RTLD_LOCAL);
        if (Handle) Exec = reinterpret_cast<ExecFn>(dlsym(Handle, "ExecMoreFilterImage"));
    }
    ~TPlugin() {
        if (Handle) dlclose(Handle);
    }
    void* Handle = nullptr;
    ExecFn Exec = nullptr;
};

void Put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
    Put16(b, v);
    Put16(b, v >> 16);
}

// A bottom-up BMP of 24 bits, or of 8 bits when a palette is given (pixels are then indices in B).
void WriteBmp(const std::string& path, const TPicture& picture,
              const std::vector<TBgr>& palette = {}) {
    const int height = int(picture.size());
    const int width = int(picture[0].size());
    const int bpp = palette.empty() ? 24 : 8;
    const int stride = ((width * bpp + 31) / 32) * 4;
    const uint32_t offset = 54 + uint32_t(palette.size()) * 4;
    std::vector<uint8_t> b = {'B', 'M'};
    Put32(b, offset + uint32_t(stride * height));
    Put32(b, 0);
    Put32(b, offset);
    Put32(b, 40);
    Put32(b, uint32_t(width));
    Put32(b, uint32_t(height));
    Put16(b, 1);
    Put16(b, uint32_t(bpp));
    for (int i = 0; i < 6; ++i) Put32(b, i == 1 ? uint32_t(stride * height) : 0);
    for (const TBgr& c : palette)
        b.insert(b.end(), {uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2]), 0});
    for (int y = height - 1; y >= 0; --y) {
        std::vector<uint8_t> row(size_t(stride), 0);
        for (int x = 0; x < width; ++x) {
            if (bpp == 8)
                row[size_t(x)] = uint8_t(picture[size_t(y)][size_t(x)][0]);
            else
                for (int ch = 0; ch < 3; ++ch)
                    row[size_t(3 * x + ch)] = uint8_t(picture[size_t(y)][size_t(x)][size_t(ch)]);
        }
        b.insert(b.end(), row.begin(), row.end());
    }
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

// Reads back what the plug-in wrote, insisting on an uncompressed 24-bit bottom-up file.
TPicture ReadBmp24(const std::string& path) {
    const std::vector<uint8_t> b = ReadBytes(path);
    EXPECT_GE(b.size(), 54u);
    if (b.size() < 54) return {};
    EXPECT_EQ(b[28], 24) << "bits per pixel";
    EXPECT_EQ(U32(b, 30), 0u) << "compression";
    const int width = int(U32(b, 18));
    const int height = int(U32(b, 22));
    EXPECT_GT(height, 0);
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    EXPECT_EQ(b.size(), U32(b, 10) + stride * size_t(height));
    TPicture picture(size_t(height), std::vector<TBgr>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const size_t at = U32(b, 10) + stride * size_t(height - 1 - y) + 3 * size_t(x);
            picture[size_t(y)][size_t(x)] = {b[at], b[at + 1], b[at + 2]};
        }
    return picture;
}

// B = 16x + y, G = 200 - 7x - 3y, R = x + 20y.
TPicture Pattern(int width, int height) {
    TPicture p(size_t(height), std::vector<TBgr>(static_cast<size_t>(width)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[size_t(y)][size_t(x)] = {(x * 16 + y) & 255, 200 - x * 7 - y * 3, (x + y * 20) & 255};
    return p;
}

class ExportTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kivo-plugin-XXXXXX").string();
        Dir = mkdtemp(pattern.data());
        PreviewPath = Dir + "/WokKivoEffectImage.Bmp";
        ImagePath = Dir + "/OriKivoEffectImage.Bmp";
    }
    void TearDown() override { fs::remove_all(Dir); }

    // Calls the export in a fresh load of the plug-in; drive runs on the dialog once it is up
    // and must close it.
    void Run(int number, const std::function<void(QWidget*)>& drive) {
        TPlugin plugin;
        ASSERT_NE(plugin.Handle, nullptr) << dlerror();
        ASSERT_NE(plugin.Exec, nullptr);
        bool driven = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || driven) return;
            driven = true;
            poll.stop();
            drive(dialog);
        });
        poll.start();
        // A dialog the drive fails to close must not hang the suite.
        QTimer::singleShot(20000, [] {
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
        });
        EXPECT_EQ(plugin.Exec(nullptr, PreviewPath.c_str(), ImagePath.c_str(), number), 0);
        EXPECT_TRUE(driven);
    }

    std::string Dir, PreviewPath, ImagePath;
};

QSlider* Bar(QWidget* dialog, int n) {
    return dialog->findChild<QSlider*>(QString("GaugeBar%1").arg(n));
}
void Click(QWidget* dialog, const char* name) {
    dialog->findChild<QAbstractButton*>(name)->click();
}

// What the preview shows, read back from the paint box.
TPicture Shown(QWidget* dialog) {
    const QImage image = dialog->findChild<QWidget*>("PaintBox")->grab().toImage();
    TPicture p(size_t(image.height()), std::vector<TBgr>(static_cast<size_t>(image.width())));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            p[size_t(y)][size_t(x)] = {qBlue(c), qGreen(c), qRed(c)};
        }
    return p;
}

}  // namespace

TEST_F(ExportTest, ExportsExactlyOneFunction) {
    FILE* pipe = popen("nm -D --defined-only '" KIVO_MOREFILTERS_MODULE "'", "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> lines;
    char line[512];
    while (fgets(line, sizeof line, pipe)) lines.emplace_back(line);
    ASSERT_EQ(pclose(pipe), 0) << "nm failed";
    ASSERT_EQ(lines.size(), 1u) << lines.size()
                                << " dynamic symbols, first: " << (lines.empty() ? "" : lines[0]);
    EXPECT_NE(lines[0].find(" T ExecMoreFilterImage"), std::string::npos) << lines[0];
}

TEST_F(ExportTest, SliderSetUpByFilterNumber) {
    struct Case {
        int number, min, max, start, step;
        bool more;
        int start2, start3;
    } cases[] = {
        {111, 1, 100, 1, 10, true, 1, 2}, {112, 0, 3600, 0, 10, true, 0, 0},
        {113, 0, 100, 0, 1, false, 0, 0}, {121, 0, 100, 0, 1, false, 0, 0},
        {122, 1, 10, 1, 1, false, 0, 0},  {123, 1, 1000, 1, 100, false, 0, 0},
        {5, 1, 100, 1, 10, false, 0, 0},
    };
    WriteBmp(PreviewPath, Pattern(4, 3));
    WriteBmp(ImagePath, Pattern(4, 3));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.number);
        Run(c.number, [&](QWidget* dialog) {
            EXPECT_EQ(dialog->windowTitle(), QString::fromUtf8("필터 적용"));
            EXPECT_EQ(dialog->size(), QSize(590, 295));
            QSlider* bar = Bar(dialog, 1);
            EXPECT_EQ(bar->minimum(), c.min);
            EXPECT_EQ(bar->maximum(), c.max);
            EXPECT_EQ(bar->value(), c.start);
            EXPECT_EQ(bar->pageStep(), c.step);
            EXPECT_EQ(dialog->findChild<QLineEdit*>("edtValue1")->text(), QString::number(c.start));
            for (const char* name :
                 {"GaugeBar2", "GaugeBar3", "edtValue2", "edtValue3", "UpDown2", "UpDown3"})
                EXPECT_EQ(dialog->findChild<QWidget*>(name)->isVisible(), c.more) << name;
            if (c.more) {
                EXPECT_EQ(Bar(dialog, 2)->value(), c.start2);
                EXPECT_EQ(Bar(dialog, 3)->value(), c.start3);
                EXPECT_EQ(Bar(dialog, 2)->maximum(), 100);
            }
            Click(dialog, "btnCANCEL");
        });
    }
}

TEST_F(ExportTest, OkAppliesTheSliderValueToTheFullPicture) {
    // Mosaic 3 on 10 x 4: blocks at columns 0, 3, 6 sample column x0 + 2 of row 2; column 9 and
    // row 3 keep their pixels.
    const TPicture full = Pattern(10, 4);
    WriteBmp(PreviewPath, Pattern(5, 2));
    WriteBmp(ImagePath, full);
    Run(114, [](QWidget* dialog) {
        Bar(dialog, 1)->setValue(3);
        Click(dialog, "btnOK");
    });
    TPicture expected = full;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 9; ++x) expected[size_t(y)][size_t(x)] = full[2][size_t(x / 3 * 3 + 2)];
    EXPECT_EQ(ReadBmp24(ImagePath), expected);
}

TEST_F(ExportTest, UpDownMovesTheSliderAndOkUsesIt) {
    // Two clicks on the up arrow: slider 2, so mosaic 2 on 5 x 3 samples (x0 + 1, 1) for the
    // blocks at columns 0 and 2 of rows 0-1; column 4 and row 2 stay.
    const TPicture full = Pattern(5, 3);
    WriteBmp(PreviewPath, Pattern(5, 3));
    WriteBmp(ImagePath, full);
    Run(114, [](QWidget* dialog) {
        QToolButton* up = dialog->findChild<QWidget*>("UpDown1")->findChild<QToolButton*>("btnUp");
        up->click();
        up->click();
        EXPECT_EQ(Bar(dialog, 1)->value(), 2);
        EXPECT_EQ(dialog->findChild<QLineEdit*>("edtValue1")->text(), "2");
        Click(dialog, "btnOK");
    });
    TPicture expected = full;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) expected[size_t(y)][size_t(x)] = full[1][size_t(x / 2 * 2 + 1)];
    EXPECT_EQ(ReadBmp24(ImagePath), expected);
}

TEST_F(ExportTest, RowShiftAddsUpInThePreviewButNotOnOk) {
    // Filter 117 moved 0 -> 1 -> 2 -> 3: the preview is shifted 2 + 4 + 6 = 12 rows, the full
    // picture once by 2 * 3 = 6 rows.
    const TPicture preview = Pattern(4, 16);
    const TPicture full = Pattern(3, 10);
    WriteBmp(PreviewPath, preview);
    WriteBmp(ImagePath, full);
    Run(117, [&](QWidget* dialog) {
        for (int v = 1; v <= 3; ++v) Bar(dialog, 1)->setValue(v);
        TPicture expected(16);
        for (int y = 0; y < 16; ++y) expected[size_t(y)] = preview[size_t((y - 12 + 16) % 16)];
        EXPECT_EQ(Shown(dialog), expected);
        Click(dialog, "btnOK");
    });
    TPicture expected(10);
    for (int y = 0; y < 10; ++y) expected[size_t(y)] = full[size_t((y - 6 + 10) % 10)];
    EXPECT_EQ(ReadBmp24(ImagePath), expected);
}

TEST_F(ExportTest, CancelWritesNothing) {
    WriteBmp(PreviewPath, Pattern(4, 3));
    WriteBmp(ImagePath, Pattern(6, 5));
    const auto before = ReadBytes(ImagePath);
    const auto stamp = fs::last_write_time(ImagePath);
    Run(116, [](QWidget* dialog) {
        Bar(dialog, 1)->setValue(4);
        Click(dialog, "btnCANCEL");
    });
    EXPECT_EQ(ReadBytes(ImagePath), before);
    EXPECT_EQ(fs::last_write_time(ImagePath), stamp);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir), fs::directory_iterator()), 2);
}

TEST_F(ExportTest, WaveConfirmedWithoutTouchingTheSliders) {
    // Start positions 1, 1, 2: divisors 0.5 and amplitude 1. Column x starts at source row
    // e = Round(sin(2x)) (-1 wraps to H - 2) and row y reads column x + Round(sin(2y)), wrapped.
    const int w = 6, h = 5;
    const TPicture full = Pattern(w, h);
    WriteBmp(PreviewPath, Pattern(4, 3));
    WriteBmp(ImagePath, full);
    Run(111, [](QWidget* dialog) { Click(dialog, "btnOK"); });
    TPicture expected = full;
    for (int x = 0; x < w; ++x) {
        int e = int(std::nearbyint(std::sin(x / 0.5)));
        if (e < 0) e = h - 2;
        for (int y = 0; y < h; ++y) {
            int column = x + int(std::nearbyint(std::sin(y / 0.5)));
            column = column < 0 ? w - 2 : column % w;
            expected[size_t(y)][size_t(x)] = full[size_t((e + y) % h)][size_t(column)];
        }
    }
    EXPECT_EQ(ReadBmp24(ImagePath), expected);
}

TEST_F(ExportTest, TwistAtFullSliderIsTheUnfilteredPicture) {
    const TPicture preview = Pattern(5, 4);
    const TPicture full = Pattern(7, 6);
    WriteBmp(PreviewPath, preview);
    WriteBmp(ImagePath, full);
    Run(123, [&](QWidget* dialog) {
        Bar(dialog, 1)->setValue(500);
        EXPECT_NE(Shown(dialog), preview);  // a real twist first
        Bar(dialog, 1)->setValue(1000);     // divisor 0
        EXPECT_EQ(Shown(dialog), preview);
        Click(dialog, "btnOK");
    });
    EXPECT_EQ(ReadBmp24(ImagePath), full);
}

TEST_F(ExportTest, InitialValuesAreEachSlidersMinimum) {
    WriteBmp(PreviewPath, Pattern(4, 3));
    WriteBmp(ImagePath, Pattern(4, 3));
    Run(122, [](QWidget* dialog) {
        Bar(dialog, 1)->setValue(5);
        Click(dialog, "btnInitValue");
        EXPECT_EQ(Bar(dialog, 1)->value(), 1);
        EXPECT_EQ(dialog->findChild<QLineEdit*>("edtValue1")->text(), "1");
        Click(dialog, "btnCANCEL");
    });
    Run(112, [](QWidget* dialog) {
        for (int n = 1; n <= 3; ++n) Bar(dialog, n)->setValue(7);
        Click(dialog, "btnInitValue");
        for (int n = 1; n <= 3; ++n) EXPECT_EQ(Bar(dialog, n)->value(), 0) << n;
        Click(dialog, "btnCANCEL");
    });
}

TEST_F(ExportTest, UnknownNumberRewritesAPaletteFileAs24Bits) {
    const std::vector<TBgr> palette = {{0, 0, 0}, {255, 0, 0}, {10, 200, 30}, {1, 2, 3}};
    TPicture indices(3, std::vector<TBgr>(5));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) indices[size_t(y)][size_t(x)] = {(x + y) % 4, 0, 0};
    WriteBmp(PreviewPath, indices, palette);
    WriteBmp(ImagePath, indices, palette);
    Run(7, [](QWidget* dialog) { Click(dialog, "btnOK"); });
    TPicture expected(3, std::vector<TBgr>(5));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) expected[size_t(y)][size_t(x)] = palette[size_t((x + y) % 4)];
    EXPECT_EQ(ReadBmp24(ImagePath), expected);
}

TEST_F(ExportTest, MissingPreviewStillFiltersOnOk) {
    const TPicture full = Pattern(5, 3);
    WriteBmp(ImagePath, full);
    Run(114, [](QWidget* dialog) {
        Bar(dialog, 1)->setValue(2);
        Click(dialog, "btnOK");
    });
    TPicture expected = full;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x) expected[size_t(y)][size_t(x)] = full[1][size_t(x / 2 * 2 + 1)];
    EXPECT_EQ(ReadBmp24(ImagePath), expected);
}

TEST_F(ExportTest, EveryLoadStartsTheRandomSequenceAfresh) {
    // Mono noise 40: one slider change draws one number per preview pixel (3 x 2), then OK
    // continues the same sequence over the full picture. Two runs, each with a fresh load, give
    // the same result.
    const TPicture full = Pattern(4, 3);
    uint32_t seed = 0;
    auto next = [&](uint32_t n) {
        seed = seed * 134775813u + 1u;
        return int((uint64_t(seed) * n) >> 32);
    };
    for (int i = 0; i < 6; ++i) next(40);
    TPicture expected = full;
    for (auto& row : expected)
        for (TBgr& p : row) {
            const int d = next(40) - 20;
            for (int& c : p) c = std::clamp(c + d, 0, 255);
        }
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        WriteBmp(PreviewPath, Pattern(3, 2));
        WriteBmp(ImagePath, full);
        Run(120, [](QWidget* dialog) {
            Bar(dialog, 1)->setValue(40);
            Click(dialog, "btnOK");
        });
        EXPECT_EQ(ReadBmp24(ImagePath), expected);
    }
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
