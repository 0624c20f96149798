#pragma once

// 0 until this part's static initialiser has run, 42 after.
long testServerAnswer();
