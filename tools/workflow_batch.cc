// With --per-tile the sample jobs of one process in one tile become one job
// that runs them one after the other: a hundred thousand samples make a
// graph of a few thousand jobs, which Snakemake plans in seconds.
#include <algorithm>
#include <unordered_map>

#include "workflow.h"

namespace kcli::workflow {

namespace {

template <typename T>
void append(std::vector<T> &to, const std::vector<T> &from) {
  to.insert(to.end(), from.begin(), from.end());
}

}  // namespace

void sort_unique(std::vector<MadeInput> &list) {
  const auto by_path = [](const MadeInput &a, const MadeInput &b) { return a.path < b.path; };
  const auto same_path = [](const MadeInput &a, const MadeInput &b) { return a.path == b.path; };
  std::sort(list.begin(), list.end(), by_path);
  list.erase(std::unique(list.begin(), list.end(), same_path), list.end());
}

std::vector<Job> batch_per_tile(std::vector<Job> jobs, const std::vector<NodeRef> &tree) {
  std::vector<std::size_t> target(jobs.size());
  std::vector<Job> merged;
  std::map<std::pair<std::string, std::size_t>, std::size_t> batches;  // (process, tile index) -> merged job
  std::unordered_map<const void *, std::size_t> tile_index;
  for (std::size_t i = 0; i < tree.size(); ++i)
    if (tree[i].level == kLevelTile) tile_index[tree[i].node] = i;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    Job &job = jobs[i];
    const pm_Node *parent = job.node.level == kLevelSample ? static_cast<pm_Sample *>(job.node.node)->node.parent : nullptr;
    if (!job.blocked.empty() || !parent) {
      target[i] = merged.size();
      merged.push_back(std::move(job));
      continue;
    }
    const std::size_t tile = tile_index.at(parent);
    const auto [it, fresh] = batches.emplace(std::make_pair(job.process, tile), merged.size());
    target[i] = it->second;
    if (fresh) {
      Job batch = std::move(job);
      batch.node = tree[tile];
      batch.node_index = tile;
      merged.push_back(std::move(batch));
      continue;
    }
    Job &batch = merged[it->second];
    batch.command += " && " + job.command;
    append(batch.inputs, job.inputs);
    append(batch.made, job.made);
    append(batch.after, job.after);
    append(batch.outputs, job.outputs);
    append(batch.edits, job.edits);
    append(batch.edits_on_disk, job.edits_on_disk);
  }
  for (std::size_t i = 0; i < merged.size(); ++i) {
    Job &job = merged[i];
    for (std::size_t &from : job.after) from = target[from];
    for (MadeInput &input : job.made) input.maker = target[input.maker];
    // What a sample job of the batch makes for another of the same batch is
    // no longer waited for: the batch runs them in tree order.
    job.made.erase(std::remove_if(job.made.begin(), job.made.end(), [&](const MadeInput &m) { return m.maker == i; }),
                   job.made.end());
    sort_unique(job.made);
    for (auto *list : {&job.inputs, &job.outputs, &job.edits, &job.edits_on_disk}) sort_unique(*list);
    sort_unique(job.after);
    job.after.erase(std::remove(job.after.begin(), job.after.end(), i), job.after.end());
  }
  name_jobs(merged);
  return merged;
}

}  // namespace kcli::workflow
