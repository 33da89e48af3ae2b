#pragma once
// Models that may stand in for a model that has no fitting livery. The maps
// are built once after the livery catalogue is ready, from the data base's
// similar-types groups and what the catalogue holds.

#include "refdata/aircraft_category.hpp"

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

// What the similar-model maps need to know of the livery catalogue, which
// lives above the reference data; the catalogue installs these once before it
// builds the maps. A missing query answers as an empty catalogue does.
struct LiveryCatalogueQueries {
    // Whether a passenger or cargo livery of the model is installed.
    std::function<bool(const std::string& model)> hasModelLivery;
    // Whether the airline has a livery of the model.
    std::function<bool(const std::string& airline, const std::string& model)> hasAirlineModelLivery;
    // The airline codes of the catalogue, in its order.
    std::function<std::vector<std::string>()> liveryAirlines;
    // The installed models of a category (kept for Light, Buzjets and Rotorcraft).
    std::function<std::vector<std::string>(tzo::AircraftCategory)> installedModels;
};

void gf_installLiveryCatalogueQueries(LiveryCatalogueQueries queries);

// Model -> the other models of its group that have an installed livery.
extern std::unordered_map<std::string, std::vector<std::string>> g_similarModels;
// Airline -> model it has no livery of -> similar models it has liveries of.
extern std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>>
    g_airlineSimilarModels;

// Builds both maps; entries already present keep their lists.
void gf_buildSimilarModels();

// The models that may stand in for the model, shuffled (when random choices
// are on); for a Light, Buzjets or Rotorcraft model without a definition one
// installed model of its category picked at random; otherwise none. Each call
// returns its own list, so callers on several threads never share one.
std::vector<std::string> gf_similarModels(const std::string& model);

// The models similar to the aircraft's model that its airline has liveries
// of, shuffled; empty when there are none.
std::vector<std::string> gf_airlineSimilarModels(const std::string& airline, const std::string& model);
