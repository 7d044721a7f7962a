// The module's resources: string table (language 1033) and dialog templates, carried as data the way a
// Windows module carries its resource section.
#include <windows.h>
#include "win32/resources.h"
#include "plugin/AboutPicture.h"
#include "plugin/resource.h"

namespace {

// Control styles, with the values of the Windows API.
enum : DWORD {
  kPushButton = 0x0,                         // BS_PUSHBUTTON
  kDefPushButton = 0x1,                      // BS_DEFPUSHBUTTON
  kCheckBox = 0x3,                           // BS_AUTOCHECKBOX
  kRadio = 0x9,                              // BS_AUTORADIOBUTTON
  kLabel = 0x0,                              // SS_LEFT
  kLabelCentred = 0x1,                       // SS_CENTER
  kEditScroll = 0x80,                        // ES_AUTOHSCROLL
  kListBox = 0x1 | 0x00200000 | 0x00800000,  // LBS_NOTIFY | WS_VSCROLL | WS_BORDER
  kMultiListBox = kListBox | 0x0800,         // ... | LBS_EXTENDEDSEL
  kPicture = 0x0E | 0x200 | 0x800,           // SS_BITMAP | SS_CENTERIMAGE | SS_REALSIZEIMAGE
  kChildPanel = 0x40000000 | 0x10000000,     // WS_CHILD | WS_VISIBLE
  kModalBox = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
};

const Win32StringResource kStrings[] = {
    {IDS_LIBDESCRIPTION, "Wakeweave"},
    {IDS_CATEGORY, "Quillory Software"},
    {IDS_CLASS_NAME, "Wakeweave"},
    {IDS_PARAMS, "Parameters"},
    {IDS_SPIN, "Spin"},
    {IDS_FRAMES, "Frames"},
    {IDS_SEGMENTS, "Segments"},
    {IDS_FLIP_NORMALS, "Flip Normals"},
    {IDS_OLD_FRAMES, "Frames"},
    {IDS_SPLINE_STEPS, "Spline Steps"},
    {IDS_START_FRAME, "Start Frame"},
    {IDS_END_FRAME, "End Frame"},
    {IDS_SEGMENTS_PER_FRAME, "Segments Per Frame"},
    {IDS_MESH_PARAMS, "Mesh Parameters"},
    {IDS_TYPE, "Type"},
    {IDS_U_REPEAT, "U Repeat"},
    {IDS_V_REPEAT, "V Repeat"},
    {IDS_PARTICLE_TRAILS, "Particle Trails"},
    {IDS_APPLY_TEXTURE, "Apply Texture"},
    {IDS_TEXTURE_PATH, "Texture Path"},
    {IDS_FADE, "Fade"},
    {IDS_FADE_START_COLOR, "Fade Start Color"},
    {IDS_FADE_END_COLOR, "Fade End Color"},
    {IDS_FADE_TO, "Fade To"},
    {IDS_REORIENT, "Reorient"},
    {IDS_REPEAT_LENGTHWAYS, "Repeat lengthways"},
    {IDS_FADE_MIDPOINT, "Fade Midpoint (similar to gradient midpoint)"},
    {IDS_FADE_IN_OUT, "Fade-In or Fade-Out"},
    {IDS_EFFECTS, "Effects"},
    {IDS_USE_RANGE, "Use Range"},
    {IDS_USE_PARTICLE_TRAILS, "Use Particle Trails"},
    {IDS_PARTICLE_NODE, "Particle Node"},
    {IDS_CHOOSE_PARTICLE_SYSTEM, "Choose a Particle System"},
    {IDS_GENERATE_MAPPING, "Generate UV Mapping"},
    {IDS_GENERATE_AGE_MAPPING, "Generate Particle Age UV Mapping"},
    {IDS_PARTICLE_BANKING, "Use Particle Trail Banking"},
    {IDS_USE_ALL_EVENTS, "Use all Events"},
    {IDS_EVENT_LIST, "Event List"},
    {IDS_ADD_EVENTS, "Add Events"},
    {IDS_SKIP_PARTICLES, "every n'th particle"},
    {IDS_START_PARTICLE, "Start at particle n"},
    {IDS_MAP_TYPE, "Map Type"},
    {IDS_NUM_MTLS, "Number Of Materials"},
};

const Win32DialogControl kPanelControls[] = {
    {-1, "STATIC", "Wakeweave 3.56", kLabelCentred, 7, 7, 94, 9},
    {IDC_ABOUT, "BUTTON", "About...", kPushButton, 36, 19, 39, 14},
    {IDC_MOVING, "BUTTON", "Moving Trail", kRadio, 7, 61, 67, 10},
    {IDC_LAG_LABEL, "STATIC", "Frames to Lag:", kLabel, 7, 74, 49, 10},
    {IDC_OLD_FRAMES_EDIT, "CustEdit", "", 0, 57, 74, 35, 10},
    {IDC_OLD_FRAMES_SPIN, "SpinnerControl", "", 0, 93, 74, 7, 10},
    {IDC_ANCHORED, "BUTTON", "Anchored Trail", kRadio, 7, 89, 71, 10},
    {IDC_USE_RANGE, "BUTTON", "Specify Range", kCheckBox, 7, 104, 75, 10},
    {IDC_START_LABEL, "STATIC", "Start Frame:", kLabel, 7, 117, 42, 10},
    {IDC_START_EDIT, "CustEdit", "", 0, 55, 117, 37, 10},
    {IDC_START_SPIN, "SpinnerControl", "", 0, 93, 117, 7, 10},
    {IDC_END_LABEL, "STATIC", "End Frame:", kLabel, 7, 129, 42, 10},
    {IDC_END_EDIT, "CustEdit", "", 0, 55, 129, 37, 10},
    {IDC_END_SPIN, "SpinnerControl", "", 0, 93, 129, 7, 10},
};

const Win32DialogControl kMeshControls[] = {
    {IDC_SPF_LABEL, "STATIC", "Segments/frame:", kLabel, 7, 7, 55, 10},
    {IDC_SPF_EDIT, "CustEdit", "", 0, 63, 7, 29, 10},
    {IDC_SPF_SPIN, "SpinnerControl", "", 0, 93, 7, 7, 10},
    {IDC_STEPS_LABEL, "STATIC", "Spline Steps:", kLabel, 13, 19, 49, 10},
    {IDC_STEPS_EDIT, "CustEdit", "", 0, 63, 19, 29, 10},
    {IDC_STEPS_SPIN, "SpinnerControl", "", 0, 93, 19, 7, 10},
    {IDC_UREPEAT_LABEL, "STATIC", "U Repeat:", kLabel, 13, 31, 49, 10},
    {IDC_UREPEAT_EDIT, "CustEdit", "", 0, 63, 31, 29, 10},
    {IDC_UREPEAT_SPIN, "SpinnerControl", "", 0, 93, 31, 7, 10},
    {IDC_NUMMTLS_LABEL, "STATIC", "Number of Mtls:", kLabel, 7, 43, 55, 10},
    {IDC_NUMMTLS_EDIT, "CustEdit", "", 0, 63, 43, 29, 10},
    {IDC_NUMMTLS_SPIN, "SpinnerControl", "", 0, 93, 43, 7, 10},
    {IDC_FLIP_NORMALS, "BUTTON", "Flip Normals", kCheckBox, 7, 60, 56, 10},
    {IDC_GENERATE_MAP, "BUTTON", "Generate Mapping", kCheckBox, 7, 70, 75, 10},
    {-1, "STATIC", "Map Type :", kLabel, 19, 84, 37, 12},
    {IDC_MAP_STRING, "BUTTON", "String", kRadio, 61, 84, 39, 12},
    {IDC_MAP_STRETCH, "BUTTON", "Stretch", kRadio, 61, 95, 39, 12},
};

const Win32DialogControl kEffectsControls[] = {
    {IDC_APPLY, "BUTTON", "Apply", kPushButton, 29, 6, 50, 14},
    {IDC_APPLY_TEXTURE, "BUTTON", "Apply Texture", kCheckBox, 6, 24, 87, 10},
    {IDC_TEXTURE_NAME, "STATIC", "Not selected", kLabel, 17, 36, 82, 10},
    {IDC_TEXTURE_PATH, "EDIT", "", kEditScroll, 16, 46, 71, 13},
    {IDC_BROWSE, "BUTTON", "...", kPushButton, 87, 46, 13, 13},
    {IDC_VREPEAT_LABEL, "STATIC", "V Repeat:", kLabel, 7, 63, 48, 8},
    {IDC_VREPEAT_EDIT, "CustEdit", "", 0, 57, 63, 35, 10},
    {IDC_VREPEAT_SPIN, "SpinnerControl", "", 0, 93, 63, 7, 10},
    {IDC_APPLY_FADE, "BUTTON", "Apply Fade", kCheckBox, 6, 79, 85, 10},
    {IDC_MIDPOINT_LABEL, "STATIC", "Midpoint:", kLabel, 7, 91, 49, 10},
    {IDC_MIDPOINT_EDIT, "CustEdit", "", 0, 57, 91, 35, 10},
    {IDC_MIDPOINT_SPIN, "SpinnerControl", "", 0, 93, 91, 7, 10},
};

const Win32DialogControl kParticleControls[] = {
    {IDC_USE_PARTICLES, "BUTTON", "Use particle trails", kCheckBox, 4, 7, 69, 10},
    {IDC_PICK_PARTICLES, "CustButton", "Choose Particle System...", 0, 10, 21, 87, 14},
    {IDC_REGENERATE, "CustButton", "Regenerate Trails...", 0, 10, 38, 87, 14},
    {-1, "STATIC", "Create Trails:", kLabel, 4, 58, 47, 10},
    {-1, "STATIC", "every", kLabel, 10, 70, 19, 10},
    {IDC_SKIP_EDIT, "CustEdit", "", 0, 34, 70, 20, 10},
    {IDC_SKIP_SPIN, "SpinnerControl", "", 0, 54, 70, 7, 10},
    {-1, "STATIC", "particle(s)", kLabel, 65, 70, 36, 10},
    {IDC_STARTPART_LABEL, "STATIC", "starting at particle ", kLabel, 10, 83, 57, 10},
    {IDC_STARTPART_EDIT, "CustEdit", "", 0, 68, 83, 20, 10},
    {IDC_STARTPART_SPIN, "SpinnerControl", "", 0, 88, 83, 7, 10},
    {IDC_USE_ALL_EVENTS, "BUTTON", "Use All PFlow Events", kCheckBox, 4, 103, 99, 10},
    {-1, "STATIC", "PFlow Events:", kLabel, 4, 117, 46, 8},
    {IDC_EVENT_LIST, "LISTBOX", "", kListBox, 4, 127, 99, 84},
    {IDC_ADD_EVENTS, "BUTTON", "Add", kPushButton, 4, 216, 45, 11},
    {IDC_REMOVE_EVENT, "CustButton", "Remove", 0, 58, 216, 45, 11},
    {IDC_GENERATE_AGE_MAP, "BUTTON", "Generate Age Mapping", kCheckBox, 4, 238, 89, 12},
    {-1, "STATIC", "(channel 2)", kLabel, 57, 249, 36, 8},
    {IDC_SNAPSHOT, "CustButton", "Snapshot Path...", 0, 10, 264, 87, 14},
};

const Win32DialogControl kAboutControls[] = {
    {-1, "STATIC", "#125", kPicture, 7, 7, 243, 67},
    {-1, "STATIC", "Version 3.56", kLabelCentred, 7, 79, 243, 10},
    {-1, "STATIC", "Visit the Wakeweave web site at http://www.example.com/wakeweave", kLabelCentred, 7, 109, 243, 13},
    {-1, "STATIC", "Wakeweave is made by the Wakeweave project.\nThanks to everyone who tried its early trails.",
     kLabelCentred, 7, 123, 243, 21},
    {IDOK, "BUTTON", "OK", kDefPushButton | WS_TABSTOP, 103, 150, 50, 14},
};

// Font "MS Shell Dlg" 8 in the resource script; the stand-in lays every dialog out for an 8-point font.
const Win32DialogControl kEventPickerControls[] = {
    {IDC_EVENT_CANDIDATES, "LISTBOX", "", kMultiListBox | WS_TABSTOP, 7, 7, 140, 153},
    {IDOK, "BUTTON", "OK", kDefPushButton | WS_TABSTOP, 24, 168, 50, 14},
    {IDCANCEL, "BUTTON", "Cancel", kPushButton | WS_TABSTOP, 80, 168, 50, 14},
};

// The progress dialog of the regeneration, in "MS Sans Serif" 8 (DS_SETFONT): the stand-in lays dialogs out
// for an 8-point font.
const Win32DialogControl kRecalcControls[] = {
    {IDCANCEL, "BUTTON", "Cancel", kPushButton | WS_VISIBLE | WS_TABSTOP, 67, 50, 50, 14},
    {-1, "STATIC", "Recalculating Particle Trails...", kLabel | WS_GROUP, 46, 11, 94, 8},
    {IDC_RECALC_PROGRESS, "msctls_progress32", "", WS_VISIBLE | WS_BORDER, 7, 28, 172, 14},
};

template <class T, size_t N>
constexpr int count(const T (&)[N]) {
  return int(N);
}

const Win32DialogResource kDialogs[] = {
    {IDD_PANEL, "", kChildPanel, 108, 166, kPanelControls, count(kPanelControls)},
    {IDD_MESH_PANEL, "", kChildPanel, 108, 114, kMeshControls, count(kMeshControls)},
    {IDD_EFFECTS_PANEL, "", kChildPanel, 108, 108, kEffectsControls, count(kEffectsControls)},
    {IDD_PARTICLE_PANEL, "", kChildPanel, 108, 286, kParticleControls, count(kParticleControls)},
    {IDD_RECALC, "Wakeweave", kModalBox, 186, 71, kRecalcControls, count(kRecalcControls)},
    {IDD_ABOUT, "About Wakeweave", kModalBox, 257, 171, kAboutControls, count(kAboutControls)},
    {IDD_EVENT_PICKER, "Add Particle Flow Events", kModalBox, 154, 189, kEventPickerControls,
     count(kEventPickerControls)},
};

}  // namespace

// The module's resource section. The picture is drawn on first use, so it is made here rather than as a
// static table.
extern "C" __attribute__((visibility("default"))) const Win32ResourceImage* Win32ModuleResources(void) {
  static const Win32BitmapResource kBitmaps[] = {
      {IDB_ABOUT, kAboutPictureWidth, kAboutPictureHeight, AboutPicturePixels(), 32},
  };
  static const Win32ResourceImage kImage = {
      kStrings, count(kStrings), kDialogs, count(kDialogs), kBitmaps, count(kBitmaps),
  };
  return &kImage;
}
