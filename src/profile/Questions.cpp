#include "Questions.h"

#include <array>

namespace Questions {

const Question& at(int number)
{
    static const std::array<Question, 24> questions = {{
        {"Ask oriented", "Tell oriented",
         "Ask oriented: Calls for answers and seeks to obtain information * Tell oriented: Reveals or signifies information"},
        {"Go-along attitude", "Take-charge attitude",
         "Go-along attitude: Lets others assume control * Take-charge attitude: Assumes control"},
        {"Cooperative", "Competitive",
         "Cooperative: Willing to work or act together * Competitive: Having a strong urge to win"},
        {"Supportive", "Directive", "Supportive: Provides help or encouragement * Directive: Practices authority"},
        {"Risk avoider", "Risk taker",
         "Risk avoider: Refuses the chance or possibility of danger, loss, etc... * Risk taker: Accepts the chance or "
         "possibility of danger, loss, etc..."},
        {"Makes decisions slowly", "Makes decisions quickly",
         "Makes decisions slowly: Slow act or process of deciding * Makes decisions quickly: Quick act or process of "
         "deciding"},
        {"Lets others take initiative", "Takes initiative",
         "Lets others take initiative: Lets others take the first step * Takes initiative: Takes the first step or "
         "have the power to begin the conversation"},
        {"Indirect eye contact", "Direct eye contact",
         "Indirect eye contact: Does not look directly in the eyes * Direct eye contact: Looks directly in the eyes"},
        {"Speaks softly and slowly", "Speaks intensely and quickly ",
         "Speaks softly and slowly: Utters words smoothly and not quickly * Speaks intensely and rapidly: Utters words "
         "swiftly and forcefully"},
        {"Moves deliberately ", "Moves rapidly",
         "Moves deliberately: Cautious and unhurried movement * Moves rapidly: Quick and swift movement"},
        {"Makes few statements", "Makes many statements",
         "Makes few statements: Utters few words * Makes many statements: Utters more words"},
        {"Expresses moderate opinions", "Expresses strong opinions",
         "Expresses moderate opinions: Avoids extreme unproven beliefs * Expresses strong opinions: Emphasizes extreme "
         "unproven beliefs"},
        {"Controls emotions", "Shows emotions",
         "Controls emotions: Does not express strong instinctive feelings * Shows emotions: Expresses strong "
         "instinctive feelings"},
        {"Cool and aloof", "Warm and approachable",
         "Cool and aloof: Unfriendly, distant, and unsympathetic * Warm and approachable: Friendly and easy to talk to"},
        {"Task oriented", "People oriented",
         "Task oriented: Directed and devoted to work * People oriented: Directed towards personal relations"},
        {"Uses facts", "Uses opinions",
         "Uses facts: Brings into service things that are known to exist or to be true * Uses opinions: Brings into "
         "service unproven beliefs"},
        {"Serious", "Playful",
         "Serious: Inclined to occupy oneself with work-related issues * Playful: Inclined to occupy oneself pleasantly"},
        {"Impersonal and businesslike", "Personable and friendly",
         "Impersonal and businesslike: Systematic appearance and behavior * Personable and friendly: Pleasing in "
         "appearance and behavior"},
        {"Moves stiffly", "Moves freely",
         "Moves stiffly: Rigid and inflexible changes in position or posture * Moves freely: Relaxed and flexible "
         "changes in position or posture "},
        {"Seldom gestures", "Gestures frequently",
         "Seldom gestures: Limited significant moves of limbs * Gestures frequently: Many significant moves of limbs"},
        {"Formal dress", "Informal dress",
         "Formal dress: Dresses in accordance with rules * Informal dress: Does not dress in accordance with rules"},
        {"Disciplined about time", "Undisciplined about time",
         "Disciplined about time: Pays great attention to time * Undisciplined about time: Does not pay great "
         "attention to time"},
        {"Controlled facial expressions", "Animated facial expressions",
         "Controlled facial expressions: Limited face impressions * Animated facial expressions: Many face impressions"},
        {"Monotone voice", "Many vocal infections",
         "Monotone voice: Does not change the volume of voice * Many vocal infections: Changes the volume of voice "
         "frequently"},
    }};
    return questions.at(number - 1);
}

} // namespace Questions
