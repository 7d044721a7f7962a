#!/usr/bin/env python3
"""Writes every kind of output with two builds of `wakeweave` and compares them byte for byte.

    tools/compare_outputs.py OLD_WAKEWEAVE NEW_WAKEWEAVE [WORK_DIR]

The scenes are the examples and variants of them that reach the other evaluation paths: sampling between
keys, anchored trails with either mapping, flipped normals, the age map, skipped trails, an animated lag
and an animated cross-section. Each is written as .json, .obj (with its .mtl), .gltf and .glb at several
frames, in world and in object space, plus frame sequences and the demo. Exits 1 when any file differs or
when one build writes a file the other does not.
"""
import copy
import filecmp
import json
import os
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def modifier_nodes(scene):
    for node in scene["nodes"]:
        for mod in node.get("modifiers", []):
            if mod.get("class") == "Wakeweave":
                yield mod


def variant(scene, params=None, animate=None, frame=None):
    s = copy.deepcopy(scene)
    for mod in modifier_nodes(s):
        mod.setdefault("params", {}).update(params or {})
        if animate:
            mod["animate"] = animate
    if frame is not None:
        s["frame"] = frame
    return s


def keyed_shape(scene):
    """The circle trail with its cross-section keyed: a square that grows and turns over the range."""
    s = copy.deepcopy(scene)
    for node in s["nodes"]:
        if any(m.get("class") == "Wakeweave" for m in node.get("modifiers", [])):
            def square(r, z):
                pts = [[r, 0, z], [0, r, z], [-r, 0, z], [0, -r, z]]
                return [{"closed": True, "knots": [{"p": p, "in": p, "out": p} for p in pts]}]
            node["object"] = {"type": "spline", "keys": [[0, square(2, 0)], [40, square(5, 1)], [100, square(1, -1)]]}
    return s


def scenes():
    out = {}
    for name in sorted(os.listdir(os.path.join(ROOT, "examples"))):
        if not name.endswith(".json"):
            continue
        with open(os.path.join(ROOT, "examples", name)) as f:
            base = json.load(f)
        stem = name[:-5]
        out[stem] = base
        out[stem + "-between-keys"] = variant(base, {"segments per frame": 2.5})
        out[stem + "-anchored-string"] = variant(base, {"moving or still": 1, "maptype": 0})
        out[stem + "-anchored-stretch"] = variant(base, {"moving or still": 1, "maptype": 1, "segments per frame": 0.5})
        out[stem + "-range"] = variant(base, {"moving or still": 1, "pb_userange": True, "start frame": 5,
                                              "end frame": 40})
        out[stem + "-flip-age-skip"] = variant(base, {"flipNormals": True, "generateAgeMap": True, "pb_skippart": 2,
                                                      "pb_startpart": 2, "pb_nummtls": 4, "spline steps": 0})
        out[stem + "-no-map"] = variant(base, {"generateMap": False, "pb_urepeat": 3.5})
        out[stem + "-animated-lag"] = variant(base, animate={"old_frames": {"keys": [[0, 3], [50, 20]]}})
        out[stem + "-keyed-shape"] = keyed_shape(base)
    return out


def run(binary, args, log):
    r = subprocess.run([binary] + args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    log.write("$ %s %s\n%s(exit %d)\n" % (os.path.basename(binary), " ".join(args), r.stdout, r.returncode))
    return r.returncode


def write_all(binary, scene_dir, out_dir, names):
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(out_dir, "log.txt"), "w") as log:
        for name in names:
            scene = os.path.join(scene_dir, name + ".json")
            with open(scene) as f:
                frame = json.load(f).get("frame", 0)
            for fr in sorted({0, frame, frame + 0.5, frame + 7.25}):
                for ext in ("json", "obj", "gltf", "glb"):
                    run(binary, ["eval", scene, "--frame", repr(fr), "-o",
                                 os.path.join(out_dir, "%s@%s.%s" % (name, fr, ext))], log)
                for ext in ("obj", "glb"):
                    run(binary, ["eval", scene, "--frame", repr(fr), "--space", "object", "--up", "z", "-o",
                                 os.path.join(out_dir, "%s@%s-object.%s" % (name, fr, ext))], log)
            run(binary, ["eval", scene, "--frames", "0:30:3", "-o",
                         os.path.join(out_dir, name + "-seq-{frame:03}.json")], log)
            run(binary, ["eval", scene, "--frames", "0:30:3", "-o", os.path.join(out_dir, name + "-anim.glb")], log)
        run(binary, ["demo", "--out", os.path.join(out_dir, "demo")], log)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    old, new = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    work = os.path.abspath(sys.argv[3] if len(sys.argv) > 3 else "compare-outputs")
    scene_dir = os.path.join(work, "scenes")
    os.makedirs(scene_dir, exist_ok=True)
    all_scenes = scenes()
    for name, scene in all_scenes.items():
        with open(os.path.join(scene_dir, name + ".json"), "w") as f:
            json.dump(scene, f, indent=1)
    names = sorted(all_scenes)
    write_all(old, scene_dir, os.path.join(work, "old"), names)
    write_all(new, scene_dir, os.path.join(work, "new"), names)

    different, missing, same, total_bytes = [], [], 0, 0
    for top, _, files in os.walk(os.path.join(work, "old")):
        rel = os.path.relpath(top, os.path.join(work, "old"))
        for f in files:
            if f in ("log.txt", "summary.txt") or f.endswith(".png"):
                continue
            a, b = os.path.join(top, f), os.path.join(work, "new", rel, f)
            if not os.path.exists(b):
                missing.append(os.path.join(rel, f))
            elif not filecmp.cmp(a, b, shallow=False):
                different.append(os.path.join(rel, f))
            else:
                same += 1
                total_bytes += os.path.getsize(a)
    for top, _, files in os.walk(os.path.join(work, "new")):
        rel = os.path.relpath(top, os.path.join(work, "new"))
        for f in files:
            if not os.path.exists(os.path.join(work, "old", rel, f)):
                missing.append("(only new) " + os.path.join(rel, f))
    print("%d files identical (%d bytes), %d different, %d missing on one side" %
          (same, total_bytes, len(different), len(missing)))
    for f in different[:40]:
        print("differs:", f)
    for f in missing[:40]:
        print("missing:", f)
    sys.exit(1 if different or missing else 0)


if __name__ == "__main__":
    main()
