"""The anchors of a Markdown page's headings, for the checks of links into the
pages: the release's link check, and setup-preflight's lines."""
import re


def sections(text):
    """The anchors of a Markdown page's headings, as GitHub makes them: lower
    case, punctuation dropped, blanks as hyphens."""
    return {re.sub(r'[^\w\- ]', '', heading.strip().lower()).replace(' ', '-')
            for heading in re.findall(r'^#+ (.*)$', text, re.M)}
