// The library's static descriptors. They are defined here, in one place, because their construction
// order matters: the class descriptor must exist before the block and interface descriptors register with it.
#include "modifier/Wakeweave.h"
#include "plugin/Globals.h"
#include "plugin/ParamIds.h"
#include "plugin/WWInterface.h"
#include "plugin/WakeweaveClassDesc.h"
#include "plugin/resource.h"

static WakeweaveClassDesc s_classDesc;
static ParticlePickerPBValidator s_particlePickerValidator;

// "end frame" defaults to one frame at the frame rate current when the library is loaded.
static ParamBlockDesc2 s_paramBlockDesc(
    wakeweave_params, "main", 0, &s_classDesc, P_AUTO_CONSTRUCT | P_AUTO_UI | P_MULTIMAP,
    /* reference */ 0,
    /* rollouts */ 4, map_main, IDD_PANEL, IDS_PARAMS, 0, 0, NULL, map_mesh, IDD_MESH_PANEL, IDS_MESH_PARAMS, 0, 0,
    NULL, map_effects, IDD_EFFECTS_PANEL, IDS_EFFECTS, 0, 0, NULL, map_particles, IDD_PARTICLE_PANEL,
    IDS_PARTICLE_TRAILS, 0, 0, NULL,

    pb_old_frames, "old_frames", TYPE_INT, P_ANIMATABLE, IDS_OLD_FRAMES, p_default, 3, p_range, 0, 100000, p_ui,
    map_main, TYPE_SPINNER, EDITTYPE_INT, IDC_OLD_FRAMES_EDIT, IDC_OLD_FRAMES_SPIN, SPIN_AUTOSCALE, p_end, pb_segments,
    "segments", TYPE_INT, 0, IDS_SEGMENTS, p_default, 3, p_range, 1, 10000, p_end, pb_flip_normals, "flipNormals",
    TYPE_BOOL, 0, IDS_FLIP_NORMALS, p_default, FALSE, p_ui, map_mesh, TYPE_SINGLECHEKBOX, IDC_FLIP_NORMALS, p_end,
    pb_spline_steps, "spline steps", TYPE_INT, 0, IDS_SPLINE_STEPS, p_default, 6, p_range, 0, 10000, p_ui, map_mesh,
    TYPE_SPINNER, EDITTYPE_INT, IDC_STEPS_EDIT, IDC_STEPS_SPIN, SPIN_AUTOSCALE, p_end, pb_moving_or_still,
    "moving or still", TYPE_INT, 0, IDS_TYPE, p_default, 0, p_ui, map_main, TYPE_RADIO, 2, IDC_MOVING, IDC_ANCHORED,
    p_end, pb_userange, "pb_userange", TYPE_BOOL, 0, IDS_USE_RANGE, p_default, FALSE, p_ui, map_main,
    TYPE_SINGLECHEKBOX, IDC_USE_RANGE, p_end, pb_start_frame, "start frame", TYPE_INT, 0, IDS_START_FRAME, p_default, 0,
    p_range, 0, 100000000, p_ui, map_main, TYPE_SPINNER, EDITTYPE_TIME, IDC_START_EDIT, IDC_START_SPIN, SPIN_AUTOSCALE,
    p_end, pb_end_frame, "end frame", TYPE_INT, 0, IDS_END_FRAME, p_default, GetTicksPerFrame(), p_range, 0, 100000000,
    p_ui, map_main, TYPE_SPINNER, EDITTYPE_TIME, IDC_END_EDIT, IDC_END_SPIN, SPIN_AUTOSCALE, p_end,
    pb_segments_per_frame, "segments per frame", TYPE_FLOAT, 0, IDS_SEGMENTS_PER_FRAME, p_default, 1.0f, p_range,
    0.0001f, 10000.0f, p_ui, map_mesh, TYPE_SPINNER, EDITTYPE_POS_FLOAT, IDC_SPF_EDIT, IDC_SPF_SPIN, 0.1f, p_end,
    pb_urepeat, "pb_urepeat", TYPE_FLOAT, 0, IDS_U_REPEAT, p_default, 1.0f, p_range, 0.0001f, 10000.0f, p_ui, map_mesh,
    TYPE_SPINNER, EDITTYPE_FLOAT, IDC_UREPEAT_EDIT, IDC_UREPEAT_SPIN, 0.1f, p_end, pb_apply_tex_b, "pb_apply_tex_b",
    TYPE_BOOL, P_TRANSIENT, IDS_APPLY_TEXTURE, p_default, FALSE, p_ui, map_effects, TYPE_SINGLECHEKBOX,
    IDC_APPLY_TEXTURE, p_end, pb_apply_tex_vrepeat, "pb_apply_tex_vrepeat", TYPE_FLOAT, P_TRANSIENT,
    IDS_REPEAT_LENGTHWAYS, p_default, 1.0f, p_range, 0.0001f, 10000.0f, p_ui, map_effects, TYPE_SPINNER, EDITTYPE_FLOAT,
    IDC_VREPEAT_EDIT, IDC_VREPEAT_SPIN, 1.0f, p_end, pb_apply_fade_b, "pb_apply_fade_b", TYPE_BOOL, P_TRANSIENT,
    IDS_FADE, p_default, FALSE, p_ui, map_effects, TYPE_SINGLECHEKBOX, IDC_APPLY_FADE, p_end, pb_apply_fade_mp,
    "pb_apply_fade_mp", TYPE_FLOAT, P_TRANSIENT, IDS_FADE_MIDPOINT, p_default, 0.8f, p_range, 0.0001f, 1.0f, p_ui,
    map_effects, TYPE_SPINNER, EDITTYPE_POS_FLOAT, IDC_MIDPOINT_EDIT, IDC_MIDPOINT_SPIN, 0.1f, p_end,
    pb_particle_trails_b, "pb_particle_trails_b", TYPE_BOOL, 0, IDS_USE_PARTICLE_TRAILS, p_default, FALSE, p_ui,
    map_particles, TYPE_SINGLECHEKBOX, IDC_USE_PARTICLES, p_end, pb_particle_node, "pb_particle_node", TYPE_INODE, 0,
    IDS_PARTICLE_NODE, p_ui, map_particles, TYPE_PICKNODEBUTTON, IDC_PICK_PARTICLES, p_validator,
    &s_particlePickerValidator, p_prompt, IDS_CHOOSE_PARTICLE_SYSTEM, p_end, pb_generate_map, "generateMap", TYPE_BOOL,
    0, IDS_GENERATE_MAPPING, p_default, TRUE, p_ui, map_mesh, TYPE_SINGLECHEKBOX, IDC_GENERATE_MAP, p_end,
    pb_generate_age_map, "generateAgeMap", TYPE_BOOL, 0, IDS_GENERATE_AGE_MAPPING, p_default, FALSE, p_ui,
    map_particles, TYPE_SINGLECHEKBOX, IDC_GENERATE_AGE_MAP, p_end, pb_use_all_pf_events, "useAllPFEvents", TYPE_BOOL,
    0, IDS_USE_ALL_EVENTS, p_default, TRUE, p_ui, map_particles, TYPE_SINGLECHEKBOX, IDC_USE_ALL_EVENTS, p_end,
    pb_pf_event_list, "pfEventList", TYPE_INODE_TAB, 0, P_VARIABLE_SIZE | 0x0004, IDS_EVENT_LIST, p_ui, map_particles,
    TYPE_NODELISTBOX, IDC_EVENT_LIST, 0, 0, IDC_REMOVE_EVENT, p_end, pb_skippart, "pb_skippart", TYPE_INT, 0,
    IDS_SKIP_PARTICLES, p_default, 1, p_range, 1, 1000, p_ui, map_particles, TYPE_SPINNER, EDITTYPE_INT, IDC_SKIP_EDIT,
    IDC_SKIP_SPIN, SPIN_AUTOSCALE, p_end, pb_startpart, "pb_startpart", TYPE_INT, 0, IDS_START_PARTICLE, p_default, 1,
    p_range, 1, 1000, p_ui, map_particles, TYPE_SPINNER, EDITTYPE_INT, IDC_STARTPART_EDIT, IDC_STARTPART_SPIN,
    SPIN_AUTOSCALE, p_end, pb_maptype, "maptype", TYPE_INT, 0, IDS_MAP_TYPE, p_default, 0, p_ui, map_mesh, TYPE_RADIO,
    2, IDC_MAP_STRING, IDC_MAP_STRETCH, p_end, pb_nummtls, "pb_nummtls", TYPE_INT, 0, IDS_NUM_MTLS, p_default, 1,
    p_range, 1, 1000, p_ui, map_mesh, TYPE_SPINNER, EDITTYPE_INT, IDC_NUMMTLS_EDIT, IDC_NUMMTLS_SPIN, SPIN_AUTOSCALE,
    p_end, p_end);

// The scripting interface. Scripts call its function by name; the interface's own name is never shown.
static FPInterfaceDesc s_wwInterfaceDesc(WW_INTERFACE_ID, "foo", 0, &s_classDesc, FP_MIXIN,
                                         ww_regenerate_particle_trails, "regenerate_particle_trails", 0, TYPE_VOID, 0,
                                         0, p_end);

WakeweaveClassDesc* GetWakeweaveDesc() { return &s_classDesc; }
ParamBlockDesc2* GetWakeweaveParamBlockDesc() { return &s_paramBlockDesc; }
FPInterfaceDesc* GetWakeweaveInterfaceDesc() { return &s_wwInterfaceDesc; }
