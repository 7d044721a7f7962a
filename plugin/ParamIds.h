#pragma once
// Ids of the modifier's parameter block and its parameters. Saved scenes store these ids.

enum { wakeweave_params = 0 };                                            // block id
enum { map_main = 0, map_mesh = 1, map_effects = 2, map_particles = 3 };  // rollouts

enum WakeweaveParamId {
  pb_old_frames = 0,          // "old_frames"
  pb_segments = 1,            // "segments"
  pb_flip_normals = 2,        // "flipNormals"
  pb_spline_steps = 3,        // "spline steps"
  pb_moving_or_still = 4,     // "moving or still"
  pb_userange = 5,            // "pb_userange"
  pb_start_frame = 6,         // "start frame"
  pb_end_frame = 7,           // "end frame"
  pb_segments_per_frame = 8,  // "segments per frame"
  pb_urepeat = 9,             // "pb_urepeat"
  pb_apply_tex_b = 10,        // "pb_apply_tex_b"
  pb_apply_tex_vrepeat = 12,  // "pb_apply_tex_vrepeat"
  pb_apply_fade_b = 13,       // "pb_apply_fade_b"
  pb_apply_fade_mp = 14,      // "pb_apply_fade_mp"
  pb_particle_trails_b = 15,  // "pb_particle_trails_b"
  pb_particle_node = 16,      // "pb_particle_node"
  pb_generate_map = 17,       // "generateMap"
  pb_generate_age_map = 18,   // "generateAgeMap"
  pb_use_all_pf_events = 19,  // "useAllPFEvents"
  pb_pf_event_list = 20,      // "pfEventList"
  pb_skippart = 21,           // "pb_skippart"
  pb_startpart = 22,          // "pb_startpart"
  pb_maptype = 23,            // "maptype"
  pb_nummtls = 24,            // "pb_nummtls"
};

// The interface number a particle system object answers (GetInterface by number).
#define PARTICLE_SYSTEM_INTERFACE_ID 0x1050
