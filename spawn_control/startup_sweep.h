#pragma once

// Rebuilds the count table from the creatures in the world and removes each class's surplus at
// once.
void InitDinoCounts();
