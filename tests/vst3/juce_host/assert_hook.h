#pragma once
// Included before every JUCE source of the JUCE host test: JUCE's debug assertions are
// recorded with the function they fire in instead of only being logged.
#define JUCE_LOG_CURRENT_ASSERTION corvaJuceAssertion(__FILE__, __LINE__, __PRETTY_FUNCTION__);
void corvaJuceAssertion(const char* file, int line, const char* function);
