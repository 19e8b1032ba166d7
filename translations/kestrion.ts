<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" sourcelanguage="en">
<context>
    <name>kestrion::AtomicFile</name>
    <message>
        <source>Could not create the folder “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” exists and is not a folder.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::BusyIndicator</name>
    <message>
        <source>In progress</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ChangesDialog</name>
    <message>
        <source>added</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>deleted</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>changed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: none</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading the changes…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Changes of the turn</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Changed files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Changes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Before</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>After</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That turn changed no files of the site.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 file changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 files changed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ChatHistoryPersistence</name>
    <message>
        <source>There is no folder for the user&apos;s data.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ChatPane</name>
    <message>
        <source>Send</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Sending</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Describe the website you&apos;d like to build, or ask for a change. Return sends, Shift+Return for a new line.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Return sends; Shift+Return for a new line</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Preferences…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set the OpenAI API key and base URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Progress of the turn</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reply being written</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ChatViewModel</name>
    <message>
        <source>Launch failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undid the changes of the previous turn: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Redid the changes of the previous turn: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show changes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Undo this turn</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Redo</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ChatsSection</name>
    <message>
        <source>Chats</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>New chat</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Delete Chat</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::DeployError</name>
    <message>
        <source>Git failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrion API returned HTTP %1. </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unexpected JSON from </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a website directory with your project files before launching.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Git is required for Kestrion deploy (/usr/bin/git not found). Install git with your package manager.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not build Kestrion API URL.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Prepare response missing push_url.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The deploy was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The Kestrion API&apos;s answer is larger than %1.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::DeployRun</name>
    <message>
        <source>Checking deploy status…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Waiting for first status from Kestrion…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deploy failed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The finalize answer could not be read as JSON: %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The finalize answer is not a JSON object.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The finalize answer&apos;s “%1” is not a string.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>State: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Step %1 of %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status poll failed (401). Check API token.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::DetailPane</name>
    <message>
        <source>Workspace</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::DetailWorkspaceController</name>
    <message>
        <source>Could not read file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not encode as UTF-8.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not saved: the file is not inside the website directory.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::DirectorySection</name>
    <message>
        <source>Website Directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose website directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Website directory: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ElementReference</name>
    <message>
        <source>In `%1`, the element `%2` (`%3`): </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::FileTreeScanner</name>
    <message>
        <source>1 item</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 items</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> — tree truncated (limit %1 nodes, depth %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Folder does not exist.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(could not read: %1)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::FilesSection</name>
    <message>
        <source>Website Files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refresh file tree</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loading file tree</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a website directory below.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Empty folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Website files</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open in Preview</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::GitCommitSequence</name>
    <message>
        <source>The website folder&apos;s .git is not a folder (it is a file or a link); no commit was made.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The website folder&apos;s .git borrows another repository (it holds a commondir file); no commit was made.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The website folder&apos;s git configuration names a filter that is not valid UTF-8, so it cannot be switched off; no commit was made.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::HttpClient</name>
    <message>
        <source>The request was cancelled.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The request timed out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The server&apos;s answer is larger than %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid URL: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid HTTP header name.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid value for HTTP header &quot;%1&quot;: it contains a line break or NUL character.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::IndexPreviewWebView</name>
    <message>
        <source>Website preview</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::LaunchSection</name>
    <message>
        <source>Launch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deploying</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>What a deploy publishes; the Preferences setting “Publish chats with the website” decides whether the chats are included.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>**Deploy Website to Kestrion**</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>**Live URL:** [%1](%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>**Kestrion panel:** [open virtual host](%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deploy in progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Launch to the internet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Deploy progress</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Starting…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Publishes the website folder, including its chats (.kestrion-chats).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Publishes the website folder; its chats stay private.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::LaunchStateStore</name>
    <message>
        <source>No website directory is chosen.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::LinkCheck</name>
    <message>
        <source>**Broken links:** %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::MainWindow</name>
    <message>
        <source>&amp;File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preferences…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Quit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&lt;h3&gt;%1&lt;/h3&gt;&lt;p&gt;Version %2&lt;/p&gt;&lt;p&gt;Build a static website by chatting with a language model: describe the site, and the files appear in your website directory, committed with git.&lt;/p&gt;</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hide Sidebar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show Sidebar</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::MessageActions</name>
    <message>
        <source>Files changed since</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>These files of that turn were changed since: %1. Going on replaces those changes.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Go On</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ModelPicker</name>
    <message>
        <source>Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pick a model or type its name</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::OpenAIError</name>
    <message>
        <source>Could not read response: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add an OpenAI API key in Settings.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invalid API URL.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::OpenAIService</name>
    <message>
        <source>No HTTP response</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Empty assistant message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No image data in response</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image response had neither b64_json nor url</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The generated image is larger than %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Failed to download generated image</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::OutputFolderFileTreeModel</name>
    <message>
        <source>Choose a website directory to see its tree.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::PageProblems</name>
    <message>
        <source>script error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>missing file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>refused</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>failed to load</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>refused: the preview loads only files of the website folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1 problem</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 problems</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 — %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: %2 in %3 — %4</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> (×%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The preview of `%1` shows these problems:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>- %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>- %1 in `%2`: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>- and %1 more</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please fix them.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::PreferencesDialog</name>
    <message>
        <source>Stored in the keyring</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stored in the settings file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Publish chats with the website</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preferences</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From OPENAI_API_KEY or the key file when empty</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OpenAI API key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>API key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OpenAI base URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrion panel base URL</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrion panel API token</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>When off, a deploy leaves the website folder&apos;s .kestrion-chats folder out.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OpenAI &amp;API key:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Model:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OpenAI &amp;base URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrion &amp;panel URL:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Kestrion panel &amp;token:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Changes are saved as you type.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (Alt+V)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hide %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Test connection</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask the base URL for its models with the key</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected: 1 model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connected: %1 models</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Connecting to %1…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show replies as they are written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Asks the model for its reply piece by piece and shows the text while it arrives.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::PreviewDeviceFrame</name>
    <message>
        <source>Desktop</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tablet</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::PreviewProblemsStrip</name>
    <message>
        <source>Page problems</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Put a message listing these problems into the chat&apos;s composer</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Problems</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>and %1 more</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hide</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask to fix</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::PreviewWorkspace</name>
    <message>
        <source>Preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Showing </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No website directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a website directory in Settings to preview, or click an HTML, CSS, or image file in Website Files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing to preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add index.htm or index.html at the website directory root, or click any HTML, CSS, or image file in Website Files to open it here.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open this file in the system&apos;s web browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show this file in the file manager</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device width</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pick an element of the page to ask about it (Escape leaves)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open in browser</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show in folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No web preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This window was made without a web engine to show pages.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ProcessRunner</name>
    <message>
        <source>The file “%1” doesn’t exist.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder “%1” doesn’t exist.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ProjectMaterializer</name>
    <message>
        <source>Write failed for %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Website directory does not exist: </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::ReplySummary</name>
    <message>
        <source>**Files created:** %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Note: the model returned raw code instead of `&lt;&lt;&lt;FILE&gt;&gt;&gt;` blocks; the app saved %1 anyway.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>**Images generated:** %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skipped text `&lt;&lt;&lt;FILE&gt;&gt;&gt;` for binary image path(s) %1 — ask me to regenerate using `&lt;&lt;&lt;IMAGE&gt;&gt;&gt;` so real bytes get written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skipped non front-end `&lt;&lt;&lt;FILE&gt;&gt;&gt;` path(s) %1. This app only materializes static client files with extensions: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skipped `&lt;&lt;&lt;IMAGE&gt;&gt;&gt;` path(s) %1. Allowed raster extensions: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image generation failed for `%1`: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skipped unsafe path(s): %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Git failed (exit %1).</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::SessionStore</name>
    <message>
        <source>Chat history could not be saved: </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updated %1 at %2</source>
        <extracomment>%1 is the date, %2 the time of the chat&apos;s last change.</extracomment>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::Sidebar</name>
    <message>
        <source>Sidebar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::SitePath</name>
    <message>
        <source>Could not create the folder “%1”.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The path is not a safe relative path.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The website directory does not exist.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The path leads outside the website directory.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The path leads into the app&apos;s own folders (.git, .kestrion-chats).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The path&apos;s links cannot be resolved.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” exists and is not a folder.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>“%1” is a folder.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::SourceWorkspace</name>
    <message>
        <source>Save</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Drop your unsaved changes and show the file as it is on disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep editing your version; saving replaces the file on disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source editor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Discard your unsaved changes?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Discard your unsaved changes to %1?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>They were not saved. Cancel to keep editing and save them first.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Discard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File deleted on disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File changed on disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 was deleted on disk after you opened it. Save your version anyway?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 was changed on disk after you opened it. Overwrite it with your version?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel to leave it deleted and keep editing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel to keep the file on disk as it is and keep editing.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Overwrite</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Editing </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The preview now shows %1 instead of this file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>another file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No website directory</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a website directory in Settings, then open an HTML or CSS file from Website Files to edit its source.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing to edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Add index.htm or index.html at the website directory root, or click an HTML or CSS file in Website Files.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No source for this file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source editing is available for HTML and CSS files. Select one in Website Files, or add index.htm / index.html at the website directory root.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File too large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file is too large to edit here (over 16 MiB).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unsaved changes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file was changed on disk.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file was deleted on disk.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reload from disk</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Keep my version</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::StreamingPreview</name>
    <message>
        <source>a file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 KB</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writing %1… %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image %1…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::TranscriptModel</name>
    <message>
        <source>You</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Assistant</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::TranscriptView</name>
    <message>
        <source>Transcript</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy Link</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::TurnGit</name>
    <message>
        <source>The repository could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The repository has no current commit.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>That turn changed no files of the site.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The website folder could not be compared with the repository: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The changes of that turn could not be read.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Later changes touch the same files, so that turn cannot be taken back: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The commit could not be made.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Refused path %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write failed for %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not remove %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The branch moved meanwhile; nothing was committed.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::TurnLog</name>
    <message>
        <source>The folder for the chats could not be made.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::TurnProgress</name>
    <message>
        <source>Waiting for the model… %1 s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writing 1 file…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writing %1 files…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Generating image %1 of %2: %3…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Committing…</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::TurnRunner</name>
    <message>
        <source>Error: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::WelcomePane</name>
    <message>
        <source>Choose…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Open Preferences…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Welcome</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Build a website by describing it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tell the model what you want: it writes the HTML, CSS and JavaScript into your website folder, you see the result under Preview, and every change is committed with git.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose the website folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Create the website folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Puts this request in the message box</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>1. Website folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>2. Model service</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>3. Try an example</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An example goes into the message box below; press Send when it reads the way you want.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Looking at %1…</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No website folder is chosen yet. Choose the folder the website&apos;s files go into.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The website&apos;s files go into %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The website folder %1 does not exist yet. Create it, or choose another one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not a folder. Choose the folder the website&apos;s files go into.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The folder %1 could not be created: %2.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An API key is set in Preferences.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An API key was found in the environment variable OPENAI_API_KEY.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An API key was found in the key file %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>An API key is built into this copy of the app.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No API key was found. Add one in Preferences, or set the environment variable OPENAI_API_KEY. A local model server may accept any key.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Requests go to %1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A one-page site for a bakery with opening hours and a menu</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A portfolio with a project gallery and a contact form</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A landing page for a hiking club with its upcoming trips</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::WindowState</name>
    <message>
        <source>Create</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Preview</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Source</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::WorkspaceGitPush</name>
    <message>
        <source>Refusing “%1” from the panel: it would be read as a git option.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No files to deploy after excluding node_modules and .git.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kestrion::main</name>
    <message>
        <source>Another copy of %1 is running but does not answer; not starting a second one.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
