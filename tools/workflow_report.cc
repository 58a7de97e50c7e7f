// What `kestrum workflow` says about the jobs it leaves out. A large
// project with half its inputs missing leaves out tens of thousands of jobs
// for a handful of reasons, so standard error gets a summary: the jobs
// grouped by process and reason, each group counted with its first few
// nodes. --verbose lists every job and every reason as `kestrum ready`
// would; --report FILE writes all of it, and the planned jobs, as JSON.
#include <unordered_map>

#include "json.h"
#include "workflow.h"

namespace kcli::workflow {

namespace {

constexpr std::size_t kNodesShown = 3;

struct Group {
  std::string process;
  std::vector<std::string> reasons;
  std::vector<std::size_t> jobs;
};

// The groups in the order their first job comes in the tree.
std::vector<Group> groups_of(const std::vector<Job> &jobs) {
  std::vector<Group> groups;
  std::unordered_map<std::string, std::size_t> index;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    const Job &job = jobs[i];
    if (job.blocked.empty()) continue;
    std::vector<std::string> reasons;
    for (const Blocked &why : job.blocked)
      if (std::find(reasons.begin(), reasons.end(), why.group) == reasons.end()) reasons.push_back(why.group);
    std::string key = job.process;
    for (const std::string &reason : reasons) key += '\0' + reason;
    const auto [it, fresh] = index.emplace(std::move(key), groups.size());
    if (fresh) groups.push_back({job.process, std::move(reasons), {}});
    groups[it->second].jobs.push_back(i);
  }
  return groups;
}

std::string joined(const std::vector<std::string> &texts) {
  std::string line;
  for (const std::string &text : texts) line += (line.empty() ? "" : "; ") + text;
  return line;
}

Json texts_json(const std::vector<std::string> &texts) {
  Json list = Json::array();
  for (const std::string &text : texts) list.push_back(text_json(text));
  return list;
}

}  // namespace

void report_blocked(std::ostream &err, const std::vector<Job> &jobs, bool verbose) {
  if (verbose) {
    for (const Job &job : jobs) {
      if (job.blocked.empty()) continue;
      err << "not planned: " << printable(job.process) << " at " << printable(job.node.path) << "\n";
      for (const Blocked &why : job.blocked) err << "      - " << printable(why.detail) << "\n";
    }
    return;
  }
  const std::vector<Group> groups = groups_of(jobs);
  if (groups.empty()) return;
  err << "Not planned, by process and reason (--verbose lists every job and why):\n";
  for (const Group &group : groups) {
    err << "  " << printable(group.process) << ", " << counted(group.jobs.size(), "job", "jobs") << ": "
        << printable(joined(group.reasons)) << "\n      at ";
    for (std::size_t n = 0; n < group.jobs.size() && n < kNodesShown; ++n)
      err << (n ? ", " : "") << printable(jobs[group.jobs[n]].node.path);
    if (group.jobs.size() > kNodesShown) err << " and " << group.jobs.size() - kNodesShown << " more";
    err << "\n";
  }
}

void write_report(std::ostream &out, const Options &options, const std::string &plan, const std::vector<Job> &jobs) {
  Json planned = Json::array(), left_out = Json::array(), groups = Json::array();
  for (const Job &job : jobs) {
    Json entry = Json::object();
    entry["name"] = text_json(job.name);
    entry["process"] = text_json(job.process);
    entry["node"] = text_json(job.node.path);
    if (job.blocked.empty()) {
      planned.push_back(std::move(entry));
      continue;
    }
    std::vector<std::string> reasons;
    for (const Blocked &why : job.blocked) reasons.push_back(why.detail);
    entry["reasons"] = texts_json(reasons);
    left_out.push_back(std::move(entry));
  }
  for (const Group &group : groups_of(jobs)) {
    Json entry = Json::object();
    entry["process"] = text_json(group.process);
    entry["reasons"] = texts_json(group.reasons);
    entry["count"] = group.jobs.size();
    std::vector<std::string> nodes;
    for (const std::size_t i : group.jobs) nodes.push_back(jobs[i].node.path);
    entry["nodes"] = texts_json(nodes);
    groups.push_back(std::move(entry));
  }
  Json document = Json::object();
  document["kestrum_workflow"] = 1;
  document["file"] = text_json(options.file);
  document["engine"] = options.engine;
  document["plan"] = text_json(plan);
  Json summary = Json::object();
  summary["jobs"] = jobs.size();
  summary["planned"] = planned.size();
  summary["not_planned"] = left_out.size();
  document["summary"] = std::move(summary);
  document["planned"] = std::move(planned);
  document["not_planned"] = std::move(left_out);
  document["groups"] = std::move(groups);
  out << document.dump(1) << "\n";
}

}  // namespace kcli::workflow
