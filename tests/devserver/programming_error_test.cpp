// Calls the real game would crash on end the process with a message.

#include "host/api.h"
#include "host/game_functions.h"
#include "tests/devserver/devserver_test.h"

namespace {

class ProgrammingErrorTest : public DevServerTest {};

TEST_F(ProgrammingErrorTest, UnknownFunctionName) {
  EXPECT_DEATH(GetAddress("AActor.Teleport"), "unknown game function \"AActor.Teleport\"");
}

TEST_F(ProgrammingErrorTest, UnknownField) {
  const auto id = PlaceOne(kStrider);
  EXPECT_DEATH(GetAddress(devserver::CreatureObject(id), "AActor.Health"),
               "unknown field \"AActor.Health\"");
}

TEST_F(ProgrammingErrorTest, NullObject) {
  EXPECT_DEATH(GetAddress(nullptr, "AActor.Tags"), "AActor.Tags: null object");
}

TEST_F(ProgrammingErrorTest, FieldTheObjectLacks) {
  EXPECT_DEATH(GetAddress(devserver::World(), "AActor.TargetingTeam"),
               "AActor.TargetingTeam: expected an actor, got a world");
}

TEST_F(ProgrammingErrorTest, PointerThatIsNoGameObject) {
  alignas(16) unsigned char not_an_object[64] = {};
  EXPECT_DEATH(game::IsTamed(reinterpret_cast<APrimalDinoCharacter*>(not_an_object)),
               "pointer is not a game object");
}

}  // namespace
