#include "CommandMap.h"

#include <map>

namespace {

using Kind = CommandEntry::Kind;

CommandEntry Item(const QString& caption, const QString& command, int tag = 0,
                  const QString& hint = {}) {
    CommandEntry e;
    e.Caption = caption;
    e.Command = command;
    e.Tag = tag;
    e.Hint = hint;
    return e;
}

CommandEntry Disabled(CommandEntry e) {
    e.Enabled = false;
    return e;
}

CommandEntry Hidden(CommandEntry e) {
    e.Enabled = false;
    e.Visible = false;
    return e;
}

CommandEntry Bold(CommandEntry e) {
    e.Bold = true;
    return e;
}

CommandEntry Keys(CommandEntry e, const QString& shortcut) {
    e.Shortcut = shortcut;
    return e;
}

CommandEntry Check(CommandEntry e, bool checked) {
    e.Checkable = true;
    e.Checked = checked;
    return e;
}

CommandEntry Sub(const QString& caption, std::vector<CommandEntry> children,
                 const QString& hint = {}) {
    CommandEntry e;
    e.Type = Kind::Submenu;
    e.Caption = caption;
    e.Hint = hint;
    e.Children = std::move(children);
    return e;
}

CommandEntry Separator() {
    CommandEntry e;
    e.Type = Kind::Separator;
    return e;
}

const QString MosaicHint = "모자이크\r\n사진에 모자이크(Mosaic) 필터를 적용 합니다.";
const QString SharpHint = "날카롭게\r\n사진을 날카롭게 하는 필터를 적용 합니다. 계속 누르면 더욱 날카롭게 됩니다.";
const QString MuddyHint = "흐리게\r\n사진을 부드럽게 하는 필터를 적용 합니다. 계속 누르면 더욱 부드럽게 됩니다.";
const QString WaveHint = "웨이브 효과 (Wave)\r\n이미지에 웨이브 효과를 적용 합니다.";
const QString MoreMosaicHint =
    "모자이크 (Mosaic)\r\n이미지에 모자이크효과를 적용합니다. 모자이크의 강도를 조절합니다.";
const QString CropHint = "자르기\r\n마우스 왼쪽 버튼으로 사각형을 만들어 \"더블클릭\" 하시면 원하는 크기로 잘라 집니다.";
const QString BatchHint = "일괄적용 (한꺼번에 바꾸기)\r\n이미지의 폭과 높이, 용량, 확장자, 파일이름을 한꺼번에 수정 합니다.";
const QString WebPrintHint = "사진인화\r\n키보앨범에서 사진을 인화 합니다. (사진의 품질을 높게 수정/인화 하여 빠르게 배송합니다.)";
const QString PhoneHint = "핸드폰 전송\r\n편집된 사진을 핸드폰으로 전송 할 수 있도록 합니다.";

CommandEntry Filter(const QString& caption, int tag) {
    QString hint = tag == 1 ? MosaicHint : tag == 10 ? SharpHint : tag == 11 ? MuddyHint : QString();
    return Item(caption, "TBXItemApplyFilter", tag, hint);
}

CommandEntry MoreFilter(const QString& caption, int tag) {
    QString hint = tag == 111 ? WaveHint : tag == 114 ? MoreMosaicHint : QString();
    CommandEntry e = Item(caption, "TBXItemMoreFilters", tag, hint);
    // Filters 115 to 123 are defined disabled and nothing enables them.
    return tag >= 115 ? Disabled(e) : e;
}

CommandMap Build() {
    CommandMap m;

    CommandEntry file = Sub("파일(F)", {
        Item("새작업", "actFileNew"),
        Item("열기     (Ctrl+O)", "actFileOpen"),
        Item("저장     (Ctrl+S)", "actFileSave"),
        Item("종료", "actFileQuit"),
    });
    file.Shortcut = "Alt+F";

    CommandEntry edit = Sub("편집(E)", {
        Item("취소", "actEditUndo"),
        Item("복사", "actEditCopy"),
        Item("붙여넣기", "actEditPaste"),
    });
    edit.Shortcut = "Ctrl+E";

    CommandEntry view = Sub("보기(V)", {
        Item("사진 (EXIF) 정보 보기", "TBXItemViewPhotoInfo"),
        Sub("메뉴 스타일", {
            Check(Item("Default", "TBXItemMenuStyle", 0), false),
            Check(Item("XP Style", "TBXItemMenuStyle", 111), true),
            Check(Item("Stripes", "TBXItemMenuStyle", 222), false),
        }),
        Check(Item("주 도구모음", "TBXItemViewToolbar", 0,
                   "주 도구모음\r\n주 도구 모음을 보이거나 감추거나 합니다."), true),
        Check(Item("서브메뉴", "TBXItemViewSubMenu", 0,
                   "서브메뉴 \r\n서브메뉴를 보이게 하거나 안보이게 합니다."), true),
        Check(Item("썸네일(Thumbnail) 창", "TBXItemViewThumbnail", 0,
                   "썸네일 창\r\n썸네일 창을 보이거나 감추거나 합니다."), true),
        Check(Item("힌트(도움말)", "TBXItemViewHint", 0,
                   "힌트(도움말) 창\r\n힌트 창을 보이게 하거나 안보이게 합니다."), true),
        Sub("확대", {Item("× 2", "TBXItemZoomInX2"), Item("× 3", "TBXItemZoomInX3")},
            "확대\r\n사진의 크기 확대"),
        Sub("축소", {Item("× 2", "TBXItemZoomOutX2"), Item("× 3", "TBXItemZoomOutX3")},
            "축소\r\n사진의 크기 축소"),
        Item("원본 크기", "actViewZoomActual"),
    });
    view.Shortcut = "Ctrl+V";

    CommandEntry image = Bold(Sub("이미지(I)", {
        Item("자르기", "TBXItemImageCrop", 0, CropHint),
        Item("이미지 크기변경", "actImageSizeControl"),
        Sub("이미지 회전", {
            Item("오른쪽으로 90'", "actImageRotateR90"),
            Item("왼쪽으로 90'", "actImageRotateL90"),
            Item("180'", "actImageRotate180"),
        }, CommandHint("actImageRotate")),
        Sub("뒤집기", {
            Item("상하 뒤집기", "actImageFlipV"),
            Item("좌우 뒤집기", "actImageFlipH"),
        }, "뒤집기\r\n사진을 뒤집습니다."),
        Bold(Sub("바탕화면 만들기", {
            Item("가운데", "TBXItemSetWallpaperStyleAndDel", 0),
            Item("바둑판", "TBXItemSetWallpaperStyleAndDel", 1),
            Item("늘이기", "TBXItemSetWallpaperStyleAndDel", 2),
            Item("지우기", "TBXItemSetWallpaperStyleAndDel", 999),
        }, "바탕화면\r\n바탕화면을 곧바로 만듭니다. (가운데, 바둑판, 늘이기, 바탕화면 지우기) ")),
        Bold(Sub("캡처하기", {
            Item("오브젝트 캡처", "TBXItemImgCaptures", 111,
                 "오브젝트 캡처하기\r\n마우스로 선택한 오브젝트를 캡처 합니다."),
            Item("사각 드래그 캡처", "TBXItemImgCaptures", 222,
                 "사각 드래그 캡처하기\r\n마우스로 캡처할 영역을 드래그 하여 캡처 합니다."),
            Item("바탕화면", "TBXItemImgCaptures", 333,
                 "바탕화면 캡처하기\r\n바탕화면(키보이미지 에디터의 뒷 배경)을 캡처 합니다."),
        }, "캡처하기\r\n오브젝트, 드래그, 바탕화면을 캡처 합니다.")),
    }));
    image.Shortcut = "Ctrl+I";

    CommandEntry colour = Bold(Sub("컬러(C)", {
        Item("흑백 (1Bit)", "actColorBW"),
        Item("Half Tone", "actColorHalftone"),
        Item("16 그레이 (4Bit)", "actColorG16"),
        Item("256 그레이 (8Bit)", "actColorG256"),
        Item("16 컬러 (4Bit)", "actColorC16"),
        Item("256 컬러 (8Bit)", "actColorC256"),
        Item("하이 컬러 (16Bit)", "actColorCH"),
        Item("트루 컬러 (24Bit)", "actColorCT"),
    }));
    colour.Shortcut = "Ctrl+C";

    CommandEntry adjust = Bold(Sub("조정(B)", {
        Item("사이즈 줄이기 (Compress)", "TBXItemColorCompress"),
        Item("빨강(R)/초록(G)/파랑(B)", "TBXItemColorChange3"),
        Item("명도/대조/감마", "TBXItemColorChange1", 1),
        Item("색조/채도", "TBXItemColorChange1", 2),
    }));
    adjust.Shortcut = "Ctrl+B";

    CommandEntry filter = Bold(Sub("필터(T)", {
        Filter("원본 이미지로...", 0),
        Filter("모자이크 (Mosaic)", 1),
        Filter("수묵화 (India ink) ", 3),
        Filter("유화 (Oilify)", 2),
        Filter("음각 (Emboss)", 4),
        Filter("포스터 (Posterize)", 5),
        Filter("빛노출 (Solarize)", 6),
        Filter("잡음 (Noise)", 7),
        Filter("반전 (Invert)", 8),
        Filter("흑색톤 (Black)", 9),
        Filter("날카롭게 (sharp)", 10),
        Filter("흐리게 (muddy)", 11),
        Filter("색연필 윤곽 효과 (colored pencil)", 12),
        Hidden(Filter("노이즈 제거", 13)),
        Filter("가장자리 효과  (the edge)", 14),
        Item("비내리는 효과 (Rain)", "actHightClassMotionBlur"),
        Item("세피아 (Sepia)", "TBXItemFilterSepia"),
        Item("블루색상 (Blue Tone)", "TBXItemFilterBlueTone"),
        Item("바람 (Wind)", "TBXItemFilterWindKakusan"),
        Item("바람 (대각선 방향 Wind)", "TBXItemFilterWindGizaGizaHart"),
        Item("선 테두리 만들기 (Line Frame)", "TBXItemFilterButtonize"),
        Item("타일 이미지 만들기 (Tile)", "TBXItemFilterTiles"),
        Item("이미지 비틀기", "actViewShearImage"),
        Bold(Sub("고급 필터들", {
            MoreFilter("웨이브 효과 (Wave)", 111),
            MoreFilter("고급회전 (Rotate)", 112),
            MoreFilter("샤픈효과 (Sharpen)", 113),
            MoreFilter("모자이크 (Mosaic)", 114),
            MoreFilter("스프레이 (Spray)", 115),
            MoreFilter("스플릿 블러 (SplitBlur)", 116),
            MoreFilter("수평효과 (HorzShift)", 117),
            MoreFilter("수직효과 (VertShift)", 118),
            MoreFilter("가우시안 블러 (GaussianBlur)", 119),
            MoreFilter("단색 노이즈 추가 (MonoNoise)", 120),
            MoreFilter("컬러 노이즈 추가 (ColorNoise)", 121),
            MoreFilter("볼록 효과 (FishEye)", 122),
            MoreFilter("트위스트 (Twist)", 123),
        })),
    }));
    filter.Shortcut = "Ctrl+T";

    CommandEntry high = Bold(Sub("고급기능(S)", {
        Item("레이어 삽입", "actHightClassLayer"),
        Item("이미지 합성", "actHightClassMix"),
        Item("보더(테두리) 삽입", "actHightClassAlphaBorder"),
        Item("PC 카메라", "actHightClassPCCam"),
        Item("뽀샤시", "actControlBBoshasy"),
        Item("비트맵", "actControlPixelCombine"),
        Item("사진 액자 삽입", "actHightClassInputFrame"),
        Item("적목제거", "actHightClassRedEye"),
        Item("워터마크", "actHightClassAccessory"),
        Item("글씨쓰기", "actHightClassInputText"),
        Disabled(Item("코믹 캐릭터 만들기", "actHightClassComic")),
        Bold(Sub("일괄적용", {
            Item("크기변경 (Width * Height)", "TBXItemBatchProcess", 1, BatchHint),
            Item("사이즈/확장자 변경 (Compress)", "TBXItemBatchProcess", 2, BatchHint),
            Item("파일이름변경 (ReName)", "TBXItemBatchProcess", 3, BatchHint),
        }, BatchHint)),
    }));
    high.Shortcut = "Ctrl+S";

    CommandEntry webPrint = Bold(Item("사진인화", "TBXItemResultWebPrint", 0, WebPrintHint));
    webPrint.Underline = true;
    webPrint.Colour = "blue";
    CommandEntry phone = Keys(Item("핸드폰 전송", "actResultFuncPhone", 0, PhoneHint), "Ctrl+H");
    phone.Underline = true;
    phone.Colour = "green";
    CommandEntry result = Bold(Sub("결과활용(R)", {
        webPrint,
        Keys(Item("압축하기", "actResultFuncAddToZip"), "Ctrl+A"),
        phone,
        Keys(Item("웹 올리기", "actResultFuncWebTrans"), "Ctrl+W"),
        Keys(Item("이메일 전송", "actResultFuncMail"), "Ctrl+M"),
        Keys(Item("인쇄하기", "actResultFuncPrint"), "Ctrl+P"),
    }));

    CommandEntry about = Sub("대하여(A)", {
        Item("(About) Kivo Image Editor", "TBXItemAbout"),
        Item("키보앨범 홈페이지", "TBXItemImageHomePage"),
        Item("Kivo Image Editor Q&&A", "TBXItemImageQNA"),
        Disabled(Item("업데이트", "TBXItemImageUpdate")),
        Item("최신버전 다운받기", "TBXItemImageDN"),
        Item("제휴문의", "TBXItemImageCooperation"),
        Hidden(Item("도움말 (F1)", "TBXItemImageHelp")),
    });
    about.Shortcut = "Ctrl+A";

    m.Menus = {file, edit, view, image, colour, adjust, filter, high, result, about};

    CommandEntry crop = Check(Item("자르기", "btnCrop", 0, CropHint), false);
    m.Toolbar = {
        Item("새작업", "actFileNew"),
        Item("열  기", "actFileOpen"),
        Item("저  장", "actFileSave"),
        Item("복  사", "actEditCopy"),
        Item("붙여넣기", "actEditPaste"),
        Item("취  소", "actEditUndo"),
        Item("원본이미지", "TBXItemOriginalImg", 0,
             "원본으로\r\n작업 내용을 무시하고 원본 사진으로 되돌립니다."),
        Item("확  대", "actViewZoomIn", 0,
             "확대\r\n마우스 왼쪽버튼을 누를 때마다 사진 크기가 확대 됩니다."),
        Item("원  본", "actViewZoomActual"),
        Item("축  소", "actViewZoomOut", 0,
             "축소\r\n마우스 왼쪽버튼을 누를 때마다 사진 크기가 축소 됩니다."),
        crop,
        Item("크기변경", "actImageSizeControl"),
        Item("회  전", "actImageRotate"),
        Item("상하", "actImageFlipV"),
        Item("좌우 ", "actImageFlipH"),
        Item("명도", "TBXItemChangeBrightness"),
        Item("채도", "TBXItemChangeHue"),
        Item("비트맵", "actControlPixelCombine"),
    };

    m.HighFunc = {
        Item("뽀   샤   시", "actControlBBoshasy"),
        Item("적 목 제 거", "actHightClassRedEye"),
        Item("이미지합성", "actHightClassMix"),
        Item("레이어삽입", "actHightClassLayer"),
        Item("글 자 쓰 기", "actHightClassInputText"),
        Item("워 터 마 크", "actHightClassAccessory"),
        Item("PC 카메라", "actHightClassPCCam"),
        Item("일괄바꾸기", "actHightClassApplyFolder", 0, BatchHint),
        Disabled(Item("코믹캐릭터", "actHightClassComic")),
    };
    m.ContentFunc = {
        Item("액 자 삽 입", "actHightClassInputFrame"),
        Item("보 더 삽 입", "actHightClassAlphaBorder"),
        Disabled(Item("편   지   지", "")),
        Disabled(Item("스티커제작", "")),
        Disabled(Item("명함만들기", "")),
        Disabled(Item("달력만들기", "")),
    };
    m.ResultFunc = {
        Item("사 진 인 화", "TBXItemResultWebPrint", 0, WebPrintHint),
        Item("압 축 하 기", "actResultFuncAddToZip"),
        Item("핸드폰전송", "actResultFuncPhone", 0, PhoneHint),
        Item("웹 올 리 기", "actResultFuncWebTrans"),
        Item("이메일전송", "actResultFuncMail"),
        Item("인 쇄 하 기", "actResultFuncPrint"),
    };

    auto panelFilter = [](const QString& caption, int tag) {
        CommandEntry e = Filter(caption, tag);
        e.Command = "ImgApplyFilter";
        return e;
    };
    auto panelMore = [](const QString& caption, int tag) {
        CommandEntry e = MoreFilter(caption, tag);
        return e;
    };
    m.FilterFunc = {
        panelFilter("원           본", 0),
        panelFilter("모 자   이 크", 1),
        panelFilter("수    묵    화", 2),
        panelFilter("유           화", 3),
        panelFilter("음           각", 4),
        panelFilter("포    스    터", 5),
        panelFilter("빛    노    출", 6),
        panelFilter("잡           음", 7),
        panelFilter("흑           백", 9),
        panelFilter("반           전", 8),
        panelFilter("날 카   롭 게", 10),
        panelFilter("흐    리    게", 11),
        panelFilter("색연필 윤 곽", 12),
        panelFilter("가장자리효과", 14),
        Item("비내리는효과", "actHightClassMotionBlur"),
        Item("세    피    아", "TBXItemFilterSepia"),
        Item("블    루    톤", "TBXItemFilterBlueTone"),
        Item("바 람 (Wind)", "TBXItemFilterWindKakusan"),
        Item("바람(대각선)", "TBXItemFilterWindGizaGizaHart"),
        Item("선   테 두 리", "TBXItemFilterButtonize"),
        Item("타 일 이미지", "TBXItemFilterTiles"),
        Item("이미지비틀기", "actViewShearImage"),
        panelMore("웨    이    브", 111),
        panelMore("고 급   회 전", 112),
        panelMore("샤 픈   효 과", 113),
        panelMore("고급모자이크", 114),
        panelMore("스 프   레 이", 115),
        panelMore("스플릿  블러", 116),
        panelMore("수 평   효 과", 117),
        panelMore("수 직   효 과", 118),
        panelMore("가우시안블러", 119),
        panelMore("단색  노이즈", 120),
        panelMore("컬러  노이즈", 121),
        panelMore("볼 록   효 과", 122),
        panelMore("트 위   스 트", 123),
    };

    m.Popup = {
        Item("열기", "actFileOpen"),
        Item("저장 ", "actFileSave"),
        Separator(),
        Item("복사", "actEditCopy"),
        Item("붙여넣기", "actEditPaste"),
        Separator(),
        Item("취소", "actEditUndo"),
        Separator(),
        Item("실제크기", "actViewZoomActual"),
        Item("확대 (+)", "actViewZoomIn"),
        Item("축소 (-)", "actViewZoomOut"),
    };

    CommandEntry printLabel = Bold(Item("사진인화  ", "TBXItemResultWebPrint", 0, WebPrintHint));
    printLabel.Colour = "blue";
    CommandEntry phoneLabel = Bold(Item("핸드폰전송  ", "lblMenuHandPhone", 0, PhoneHint));
    phoneLabel.Colour = "green";
    CommandEntry p2pLabel = Bold(Item("P2P 최강", "lblMenuP2P"));
    p2pLabel.Colour = "teal";
    m.MenuLabels = {printLabel, phoneLabel, p2pLabel};
    return m;
}

const std::map<QString, QString>& Hints() {
    static const std::map<QString, QString> hints = {
        {"actFileNew", "새 이미지\r\n새로운 작업을 할 수 있도록 모든 작업을 초기화 합니다."},
        {"actFileOpen", "열기\r\n내 사진 폴더를 열어 새로운 사진을 불러 옵니다."},
        {"actFileSave", "저장\r\n편집된 사진을 저장 합니다."},
        {"actEditUndo", "취소\r\n작업한 사진을 작업하기 직전 단계로 되돌립니다."},
        {"actEditCopy", "복사\r\n사진을 복사하여 작업화면에 올립니다."},
        {"actEditPaste", "붙여넣기\r\n복사한 사진 또는 클립보드의 데이터를 작업화면에 붙입니다. (MS Word나 Excel, HWP 등에서의 이미지 또는 도표 등도 붙여넣기 가능)"},
        {"TBXItemOriginalImg", "원본으로\r\n작업 내용을 무시하고 원본 사진으로 되돌립니다."},
        {"actViewZoomIn", "확대\r\n사진의 크기를 증가 시킵니다."},
        {"actViewZoomOut", "축소\r\n사진의 크기를 축소 합니다."},
        {"actViewZoomActual", "원본크기\r\n사진을 원본 크기로 되돌립니다."},
        {"actImageSizeControl", "크기변경\r\n사진크기를 원하는대로 변경 합니다. "},
        {"actImageRotate", "회전\r\n사진을 회전 시킵니다."},
        {"actImageRotateR90", "회전\r\n사진을 오른쪽으로 90' 회전 시킵니다."},
        {"actImageRotateL90", "회전\r\n사진을 왼쪽으로 90' 회전 시킵니다."},
        {"actImageRotate180", "회전\r\n사진을 180' 회전 시킵니다."},
        {"actImageFlipH", "좌우\r\n물체 모양을 좌우로 변경 합니다."},
        {"actImageFlipV", "상하\r\n사진을 상하로 뒤집습니다."},
        {"actViewShearImage", "이미지 비틀기\r\n이미지를 수평, 수직 방향으로 비틉니다."},
        {"actColorBW", "B / W 컬러\r\n사진의 컬러를 블랙 / 화이트로 바꿉니다. "},
        {"actColorHalftone", "HalfTone \r\n사진의 컬러를 HalfTone으로 바꿉니다."},
        {"actColorG16", "4 비트 그레이\r\n사진의 컬러를 4 비트 그레이로 바꿉니다."},
        {"actColorG256", "8 비트 그레이\r\n사진의 컬러를 8 비트 그레이로 바꿉니다."},
        {"actColorC16", "4 비트 컬러\r\n사진의 컬러를 4 비트로 바꿉니다."},
        {"actColorC256", "8 비트 컬러\r\n사진의 컬러를 8 비트로 바꿉니다."},
        {"actColorCH", "하이 컬러\r\n사진의 컬러를 16 비트로 바꿉니다."},
        {"actColorCT", "하이 컬러\r\n사진의 컬러를 24 비트로 바꿉니다."},
        {"actControlBBoshasy", "뽀샤시\r\n얼굴을 뽀얗게 해주는 뽀샤시 효과를 적용 합니다."},
        {"actControlPixelCombine", "비트맵 합성\r\n동일한 사진의 비트맵을 합성합니다."},
        {"actHightClassMotionBlur", "비내리는 효과\r\n사진에 비내리는 효과를 입힙니다."},
        {"actHightClassRedEye", "적목제거\r\n사진에 드래그 만으로 적목을 제거 합니다."},
        {"actHightClassInputFrame", "액자\r\n사진에 여러 가지 모양의 액자를 입힙니다."},
        {"actHightClassLayer", "레이어\r\n여러개의 사진을 겹치게 하여 멋진 합성화면을 만듭니다."},
        {"actHightClassMix", "사진 합성\r\n원본 사진에 다양한 효과를 주어 새로운 합성사진을 만듭니다."},
        {"actHightClassAccessory", "워터마크\r\n사진에 워터마크를  삽입 합니다."},
        {"actHightClassInputText", "텍스트 삽입\r\n사진에 텍스트를 입력 합니다. (Exif 정보가 존재 하면 디폴트 텍스트는 Exif 정보, 없으면 날짜 정보)"},
        {"actHightClassAlphaBorder", "테두리 삽입\r\n이미지에 고급스런 테두리를 삽입 합니다."},
        {"actHightClassPCCam", "PC 카메라\r\n작업 컴퓨터에 연결되어 있는 PC카메라를 이용해서 사진을 찍습니다."},
        {"actResultFuncAddToZip", "압축하기\r\n폴더 압축하기와 파일을 추가하여 압축하기를 지원 합니다."},
        {"actResultFuncWebTrans", "웹 올리기\r\nFTP 정보를 입력 하시면, 화일을 업로드 하실 수 있습니다."},
        {"actResultFuncMail", "이메일 전송\r\n사진을 자동 첨부하여 메일로 보낼 수 있도록 합니다."},
        {"actResultFuncPhone", PhoneHint},
        {"actResultFuncPrint", "인쇄하기\r\n간단하게 인쇄를 하도록 합니다."},
        {"TBXItemResultWebPrint", WebPrintHint},
        {"TBXItemBatchProcess", BatchHint},
        {"actHightClassApplyFolder", BatchHint},
        {"btnCrop", CropHint},
        {"TBXItemImageCrop", CropHint},
    };
    return hints;
}

}  // namespace

QString CommandHint(const QString& command) {
    auto it = Hints().find(command);
    return it == Hints().end() ? QString() : it->second;
}

QString CommandEntry::EffectiveHint() const { return Hint.isEmpty() ? CommandHint(Command) : Hint; }

const CommandMap& MainCommandMap() {
    static const CommandMap map = Build();
    return map;
}

const std::vector<AssignedShortcut>& CodeShortcuts() {
    // Keypad plus and minus; Ctrl+1 to Ctrl+8 for the colour commands in menu order.
    static const std::vector<AssignedShortcut> shortcuts = {
        {"actViewZoomIn", "+"},       {"actViewZoomOut", "-"},   {"actColorBW", "Ctrl+1"},
        {"actColorHalftone", "Ctrl+2"}, {"actColorG16", "Ctrl+3"}, {"actColorG256", "Ctrl+4"},
        {"actColorC16", "Ctrl+5"},    {"actColorC256", "Ctrl+6"}, {"actColorCH", "Ctrl+7"},
        {"actColorCT", "Ctrl+8"},
    };
    return shortcuts;
}
