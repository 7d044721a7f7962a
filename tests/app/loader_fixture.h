#pragma once
// The scene loader in-process, with the plug-in attached: loads scene texts and reports their errors.
#include "plugin_fixture.h"

#include "app/SceneLoader.h"

class SceneLoader : public SceneTest {
 protected:
  LoadedScene Load(const std::string& json) { return LoadSceneText(json, GetWakeweaveDesc()); }
  static void ExpectPoint(const Point3& got, const Point3& want, float eps = 1e-5f) {
    EXPECT_NEAR(got.x, want.x, eps);
    EXPECT_NEAR(got.y, want.y, eps);
    EXPECT_NEAR(got.z, want.z, eps);
  }
  std::string LoadError(const std::string& json) {
    try {
      Load(json);
    } catch (const SceneError& e) {
      return e.what();
    }
    return "(no error)";
  }
};
